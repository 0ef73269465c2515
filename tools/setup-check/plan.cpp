#include "plan.h"

#include "base/paths.h"
#include "base/text.h"
#include "components/component.h"
#include "components/filters.h"
#include "config/settings.h"
#include "config/sources.h"
#include "diagnostics.h"
#include "dialog/dialog_rules.h"
#include "engine/checklist.h"
#include "engine/format.h"
#include "os_codes.h"
#include "run/driver.h"
#include "stub_platform.h"

namespace setup_check {

namespace {

const wchar_t hotfix_key[] = L"software\\microsoft\\windows nt\\currentversion\\hotfix\\q246009";

// "path" or "path=1.2.3.4": a file that exists, with its version.
void add_file(stub_platform& sys, const std::wstring& entry)
{
    const std::size_t eq = entry.rfind(L'=');
    if (eq == std::wstring::npos) {
        sys.files[text::ascii_lower(entry)] = std::nullopt;
        return;
    }
    std::uint32_t part[4] = {0, 0, 0, 0};
    std::size_t pos = eq + 1;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= entry.size() || entry[pos] != L'.') break;
            ++pos;
        }
        std::int32_t n = 0;
        if (!text::scan_int(entry, pos, n)) break;
        part[i] = static_cast<std::uint32_t>(n) & 0xFFFFu;
    }
    sys.files[text::ascii_lower(entry.substr(0, eq))] =
        ::platform::fixed_file_version{(part[0] << 16) | part[1], (part[2] << 16) | part[3]};
}

// A value of the command line that the plan cannot stand for.
base::failure refused(const std::string& why) { return base::failure::message(text::utf8_to_wide(why)); }

// "KEY|NAME|TYPE|DATA": a value stored as Windows stores it.
base::status add_value(stub_platform& sys, const std::wstring& entry)
{
    const std::size_t a = entry.find(L'|');
    const std::size_t b = a == std::wstring::npos ? a : entry.find(L'|', a + 1);
    const std::size_t c = b == std::wstring::npos ? b : entry.find(L'|', b + 1);
    if (c == std::wstring::npos || a == 0) return refused("--value " + to_utf8(entry) + " is not KEY|NAME|TYPE|DATA");
    const std::wstring key = text::ascii_lower(entry.substr(0, a));
    const std::wstring name = text::ascii_lower(entry.substr(a + 1, b - a - 1));
    const std::wstring type = entry.substr(b + 1, c - b - 1);
    const std::wstring data = entry.substr(c + 1);
    std::vector<std::uint8_t> bytes;
    if (type == L"REG_SZ" || type == L"REG_EXPAND_SZ") {
        for (wchar_t ch : data + L'\0') {
            bytes.push_back(static_cast<std::uint8_t>(ch & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((ch >> 8) & 0xFF));
        }
    } else if (type == L"REG_DWORD") {
        const bool hex = data.size() > 2 && data[0] == L'0' && (data[1] == L'x' || data[1] == L'X');
        std::uint64_t n = 0;
        bool ok = !data.empty() && data.size() <= 10;
        for (std::size_t i = hex ? 2 : 0; ok && i < data.size(); ++i) {
            const wchar_t d = data[i];
            int digit = -1;
            if (d >= L'0' && d <= L'9') digit = d - L'0';
            else if (hex && d >= L'a' && d <= L'f') digit = d - L'a' + 10;
            else if (hex && d >= L'A' && d <= L'F') digit = d - L'A' + 10;
            ok = digit >= 0;
            n = n * (hex ? 16 : 10) + static_cast<std::uint64_t>(digit < 0 ? 0 : digit);
        }
        if (!ok || n > 0xFFFFFFFFull)
            return refused("--value " + to_utf8(entry) +
                           ": REG_DWORD data is a number from 0 to 4294967295 (or 0x and up to eight hexadecimal "
                           "digits)");
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::uint8_t>((n >> (8 * i)) & 0xFF));
    } else {
        return refused("--value " + to_utf8(entry) + ": the type is REG_SZ, REG_EXPAND_SZ or REG_DWORD");
    }
    sys.machine_keys.insert(key);
    sys.machine_values[{key, name}] = bytes;
    return {};
}

// The system of the plan: its version, language, medium and what exists.
base::status prepare_system(stub_platform& sys, const os_code_entry& os, const std::string& document_bytes,
                            const plan_options& options)
{
    sys.version = os.version;
    if (os.hotfix_q246009) sys.machine_keys.insert(hotfix_key);
    sys.language = static_cast<std::uint16_t>(options.language);
    sys.module = base::combine_path(options.app_dir, L"Setup.exe");
    sys.contents[text::ascii_lower(base::combine_path(options.app_dir, L"setup.xml"))] = document_bytes;
    for (const auto& f : options.files) add_file(sys, f);
    for (const auto& k : options.keys) sys.machine_keys.insert(text::ascii_lower(k));
    for (const auto& v : options.values) {
        const base::status added = add_value(sys, v);
        if (!added) return added;
    }
    return {};
}

std::string kind_of(const components::component& c)
{
    switch (c.kind()) {
    case components::component_kind::msi:
        return "msi";
    case components::component_kind::cmd:
        return "cmd";
    default:
        return "openfile";
    }
}

std::string bound_text(const std::wstring& bound, const char* open)
{
    const std::wstring t = text::trim(bound);
    return t.empty() ? std::string(open) : to_utf8(t);
}

planned_component planned_from(const components::component& c, int line)
{
    planned_component p;
    p.line = line;
    p.type = kind_of(c);
    p.description = c.description;
    switch (c.kind()) {
    case components::component_kind::msi:
        p.target = static_cast<const components::msi_component&>(c).package;
        p.parameters = static_cast<const components::msi_component&>(c).cmdparameters;
        break;
    case components::component_kind::cmd:
        p.target = static_cast<const components::cmd_component&>(c).command;
        break;
    case components::component_kind::openfile:
        p.target = static_cast<const components::openfile_component&>(c).file;
        break;
    }
    p.required = c.required;
    p.primary = c.primary;
    p.mustreboot = c.mustreboot;
    p.selected = c.selected;
    p.listed = !components::is_product(c);
    p.checks = c.installed_checks.size();
    for (const auto& check : c.installed_checks) p.native_view_checks += check->reads_native_view() ? 1 : 0;
    p.admin_required = c.admin_required;
    for (const auto& d : c.download_dialog.downloads)
        p.downloads.push_back({d.componentname, d.sourceurl, d.destinationpath, d.destinationfilename});
    p.download_waits = !c.download_dialog.autostartdownload;
    return p;
}

// Takes down what Setup.exe's own reader decides while it reads.
class plan_observer : public config::reading_observer {
public:
    plan_observer(plan_result& result, const plan_options& options, const stub_platform& sys)
        : result_(result), options_(options), sys_(sys)
    {
    }

    // The first box that an unattended run keeps off the screen: all of
    // them under /quiet; else those after the attributes of a configuration
    // that asks for an unattended silent run; else none (npos).
    std::size_t first_unshown_box() const { return options_.command_line.quiet ? 0 : unattended_from_; }

    void source_chosen(const std::wstring&, const std::wstring&) override {}

    void settings_read(const config::configuration_settings& s, int) override
    {
        if (s.unattended && s.install_silent) unattended_from_ = sys_.messages.size();
    }

    void configuration_chosen(int index, int line, const std::wstring& lcid) override
    {
        result_.configuration_index = index;
        result_.configuration_line = line;
        result_.lcid = lcid;
    }

    void component_read(int line, const components::component& c, config::component_verdict verdict) override
    {
        switch (verdict) {
        case config::component_verdict::kept:
            result_.components.push_back(planned_from(c, line));
            break;
        case config::component_verdict::outside_version_range:
            result_.left_out.push_back({line, c.description,
                                        "the version code " + std::to_string(result_.os_code) +
                                            " does not lie strictly between os_filter_greater " +
                                            bound_text(c.os_filter_greater, "(open)") + " and os_filter_smaller " +
                                            bound_text(c.os_filter_smaller, "(open)")});
            break;
        case config::component_verdict::language_not_accepted:
            result_.left_out.push_back({line, c.description,
                                        "the language " + std::to_string(options_.language) +
                                            " is not accepted by os_filter_lcid \"" + to_utf8(c.os_filter_lcid) +
                                            "\""});
            break;
        }
    }

private:
    plan_result& result_;
    const plan_options& options_;
    const stub_platform& sys_;
    std::size_t unattended_from_ = std::wstring::npos;
};

// What the dialog and the download window show of each component, made by
// Setup.exe's own functions: the row, the message during its turn and the
// status text while its first file arrives.
void add_shown_texts(plan_result& result, const config::configuration_settings& settings,
                     const plan_options& options)
{
    if (settings.components.size() != result.components.size()) return;
    const engine::checklist_fill fill = engine::fill_checklist(settings);
    for (std::size_t i = 0; i < result.components.size(); ++i) {
        const components::component& c = *settings.components[i];
        planned_component& p = result.components[i];
        for (const auto& row : fill.rows)
            if (row.owner == &c) p.row_text = row.text;
        if (result.show_progress && !settings.installing_component_wait.empty())
            p.installing_message = engine::format_with_one_string(settings.installing_component_wait, c.description);
        const auto& downloads = c.download_dialog.downloads;
        if (!options.has_progress || downloads.empty()) continue;
        const dialog::download_texts texts = dialog::download_window_texts(c.download_dialog, settings.dialog_caption);
        p.download_progress = dialog::progress_text(texts, downloads.front().componentname, options.progress_so_far,
                                                    options.progress_size, 1, static_cast<int>(downloads.size()));
    }
}

}  // namespace

base::result<plan_result> make_plan(const std::string& document_bytes, const plan_options& options)
{
    const std::optional<os_code_entry> entry = find_os_code(options.os_code);
    if (!entry)
        return refused("no Windows version has the code " + std::to_string(options.os_code) + "; the codes are " +
                       os_code_list());
    if (options.language < 0 || options.language > 0xFFFF) return refused("a language is a number from 0 to 65535");

    stub_platform sys;
    const base::status prepared = prepare_system(sys, *entry, document_bytes, options);
    if (!prepared) return prepared.error();
    plan_result result;
    result.os_code = components::get_os_version_code(sys, sys);
    const std::optional<os_code_entry> seen = find_os_code(result.os_code);
    result.os_name = seen ? seen->name : "unknown";
    result.command_line = options.command_line;

    // The loader of Setup.exe itself: source, parsing, the choice of the
    // configuration element, the reader, and the messages on failure.
    config::configuration_settings settings;
    plan_observer observer(result, options, sys);
    result.loaded = config::load_setup_configuration(sys, settings, &observer);
    const std::size_t unshown = observer.first_unshown_box();
    for (std::size_t i = 0; i < sys.messages.size(); ++i)
        result.boxes.push_back({sys.messages[i].text, sys.messages[i].caption.value_or(L""), i < unshown});
    if (!result.loaded) {
        result.components.clear();
        result.left_out.clear();
        result.boxes.push_back({L"Failed to read configuration file.", L"", sys.messages.size() < unshown});
        return result;
    }
    result.configured_silent = settings.install_silent;
    result.configured_log_file = settings.log_file;
    if (options.command_line.quiet) run::apply_quiet(settings);
    result.install_silent = settings.install_silent;
    result.dialog_admin_required = settings.dialog_admin_required;
    result.asks_for_rights = run::asks_for_rights(settings, options.command_line, sys);
    result.complete_command = settings.complete_command;
    // The administrator's file wins; the configuration's is never opened.
    result.log_file = options.command_line.log_file.empty() ? settings.log_file : options.command_line.log_file;
    result.detailed_exit_status = settings.detailed_exit_status;
    result.unattended = settings.unattended;
    result.show_progress = settings.show_progress && !settings.install_silent;
    result.dialog_caption = settings.dialog_caption;
    add_shown_texts(result, settings, options);
    return result;
}

const char* restart_answerer(const plan_result& plan)
{
    return plan.command_line.norestart                    ? "/norestart"
           : plan.install_silent && plan.unattended ? "unattended"
                                                          : nullptr;
}

std::string restart_stop_text(const plan_result& plan, std::size_t index)
{
    const planned_component& c = plan.components[index];
    if (!c.selected) return std::string();
    if (c.mustreboot) {
        const char* answerer = restart_answerer(plan);
        const std::string stop = std::string("the run stops at its restart question (") +
                                 (answerer == nullptr ? "whatever the answer" : "answered No: " + std::string(answerer)) +
                                 ")";
        return plan.install_silent ? "installed by the silent run, then " + stop : stop;
    }
    for (std::size_t i = 0; i < index; ++i) {
        const planned_component& earlier = plan.components[i];
        if (!earlier.selected || !earlier.mustreboot) continue;
        const std::string named = "\"" + to_utf8(earlier.description) + "\" (line " + std::to_string(earlier.line) + ")";
        return plan.install_silent ? "left for the next run: this one stops at the restart question of " + named
                                   : "not reached when " + named + " is installed: the run stops at its restart question";
    }
    return std::string();
}

std::vector<std::pair<int, std::string>> possible_exit_statuses(const plan_result& plan)
{
    if (!plan.detailed_exit_status) return {{1, "in every case (detailed_exit_status is not set)"}};
    bool restart_offered = false;
    for (const auto& c : plan.components) restart_offered = restart_offered || c.mustreboot;
    // Who answers the restart question: /norestart and an unattended run
    // both say No, and Windows is never asked.
    const char* answered_no = restart_answerer(plan);
    std::vector<std::pair<int, std::string>> statuses;
    statuses.push_back({0, "every component the run handled ended installed"});
    if (!plan.install_silent) statuses.push_back({1602, "the user left the dialog before a run"});
    statuses.push_back({1603, plan.dialog_admin_required.empty()
                                  ? "a component failed"
                                  : "a component failed, or the user lacks the administrator rights required"});
    if (restart_offered && answered_no == nullptr) statuses.push_back({1641, "a restart was started"});
    std::string pending = "a restart is pending (a component ended with 3010";
    if (!restart_offered)
        pending += ")";
    else if (answered_no != nullptr)
        pending += std::string(", or the restart question was answered No: ") + answered_no + ")";
    else
        pending += ", the restart question was answered No, or Windows refused the restart)";
    statuses.push_back({3010, pending});
    return statuses;
}

}  // namespace setup_check
