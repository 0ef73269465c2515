#include "run/driver.h"

#include <optional>

#include "base/paths.h"
#include "base/text.h"
#include "components/version.h"
#include "config/sources.h"
#include "engine/reboot.h"
#include "engine/run_log.h"
#include "platform/admin.h"
#include "platform/process.h"
#include "platform/system_error.h"
#include "run/command_line.h"

namespace run {

namespace {

std::wstring quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

// No box of any kind from here on, the system's own included: every
// question is answered No in the log instead.
void go_unattended(engine::run_context& run, engine::logged_ui& ui)
{
    if (ui.unattended()) return;
    ui.go_unattended();
    run.unattended = true;
    run.sys.refuse_system_boxes();
}

// Makes every missing level of a folder, the top one first: the platform
// makes one level at a time.
void make_folders(platform::files& files, const std::wstring& folder)
{
    if (folder.empty() || files.path_exists(folder)) return;
    const std::size_t cut = folder.find_last_of(L"\\/");
    if (cut != std::wstring::npos && cut > 0) make_folders(files, folder.substr(0, cut));
    files.create_directory(folder);
}

// The log of /log: its folder is made, since the administrator named it.
void open_command_line_log(platform::platform& sys, engine::run_log& log, const std::wstring& path)
{
    const std::size_t cut = path.find_last_of(L"\\/");
    if (cut != std::wstring::npos) make_folders(sys, path.substr(0, cut));
    log.open(path);
}

// Writes to the log what the reader decides, opens the log file the
// configuration names (unless the command line named one), and makes an
// unattended silent run quiet from its configuration's own attributes on.
class reading_log : public config::reading_observer {
public:
    reading_log(engine::run_context& run, engine::logged_ui& ui) : run_(run), sys_(run.sys), log_(run.log), ui_(ui)
    {
    }

    void source_chosen(const std::wstring& path, const std::wstring& ignored) override
    {
        log_.write(L"configuration: " + config::source_description(path, ignored));
    }

    void configuration_chosen(int index, int line, const std::wstring& lcid) override
    {
        log_.write(L"configuration element " + text::decimal(static_cast<std::uint64_t>(index)) + L" (line " +
                   text::decimal(static_cast<std::uint64_t>(line)) + L"), lcid " + quoted(lcid));
    }

    void settings_read(const config::configuration_settings& s, int os_code) override
    {
        log_.open(s.log_file);
        os_code_ = os_code;
        if (s.unattended && s.install_silent) go_unattended(run_, ui_);
        if (!log_.wanted()) return;
        platform::os_version_info v;
        const bool known = sys_.os_version(true, v);
        const base::result<std::uint16_t> language = components::get_system_language(sys_, sys_);
        log_.write(L"Windows version code " + text::decimal(static_cast<std::uint64_t>(os_code)) +
                   (known ? L" (platform " + text::decimal(v.platform_id) + L", " + text::decimal(v.major) + L"." +
                                text::decimal(v.minor) + L", service pack " + text::decimal(v.service_pack_major) +
                                L" " + quoted(v.csd_version) + L")"
                          : std::wstring()) +
                   L", system language " +
                   (language ? text::decimal(language.value()) : std::wstring(L"unreadable")));
        log_.write(std::wstring(s.install_silent ? L"silent" : L"interactive") + L" configuration" +
                   (s.detailed_exit_status ? L", detailed exit status" : L"") +
                   (s.unattended ? L", unattended" : L""));
        if (ui_.unattended()) log_.write(L"unattended: no message box is shown, every question is answered No");
    }

    void component_read(int line, const components::component& c, config::component_verdict verdict) override
    {
        if (!log_.wanted()) return;
        std::wstring what = L"component " + quoted(c.description) + L" (line " +
                            text::decimal(static_cast<std::uint64_t>(line)) + L"): ";
        switch (verdict) {
        case config::component_verdict::kept:
            what += c.selected ? L"missing, selected" : L"installed, not selected";
            break;
        case config::component_verdict::outside_version_range:
            what += L"left out: the version code " + text::decimal(static_cast<std::uint64_t>(os_code_)) +
                    L" is not between os_filter_greater " + quoted(c.os_filter_greater) + L" and os_filter_smaller " +
                    quoted(c.os_filter_smaller);
            break;
        case config::component_verdict::language_not_accepted:
            what += L"left out: the system language is not accepted by os_filter_lcid " + quoted(c.os_filter_lcid);
            break;
        }
        log_.write(what);
    }

private:
    engine::run_context& run_;
    platform::platform& sys_;
    engine::run_log& log_;
    engine::logged_ui& ui_;
    int os_code_ = 0;
};

void refuse(engine::run_context& run, const std::wstring& text)
{
    run.ui.message_box(0, text, nullptr, platform::box_icon::error, platform::box_buttons::ok);
}

// One run of a configuration at a time, across the machine's sessions: a
// second copy started meanwhile (a double click too many, or a management
// tool trying again) leaves the run to the first, whose window it brings
// forward. A lock that cannot be taken at all does not stop the run.
bool take_the_run(engine::run_context& run, const config::configuration_settings& settings)
{
    const std::wstring name = L"Global\\YolvaneSetup-" + settings.document_fingerprint;
    switch (run.sys.take_run_lock(name)) {
    case platform::lock_status::taken:
        run.run_lock = name;
        return true;
    case platform::lock_status::failed:
        run.log.write(L"the lock on this configuration cannot be taken: the run goes on without it");
        return true;
    default:
        break;
    }
    run.log.write(L"another copy of Setup.exe is running this configuration: this one ends");
    run.record.failed = run.record.another_install_running = true;
    if (!run.unattended && !run.sys.bring_marked_window_forward(name))
        run.log.write(L"the other copy's window was not found");
    return false;
}

// Starts this program again with the same arguments and /elevated, through
// the shell's administrator prompt, and waits for it without a window of
// its own: the copy does the whole run. False when the prompt was declined
// or the copy did not start; otherwise `status` is the copy's exit status,
// empty when it cannot be read (the run then counts as failed).
bool run_elevated_copy(engine::run_context& run, std::optional<int>& status)
{
    std::wstring program;
    if (!run.sys.module_path(program)) {
        run.log.write(L"administrator rights cannot be asked for: the program's own path is unknown");
        return false;
    }
    std::wstring parameters = arguments_text(run.sys.command_line());
    parameters += std::wstring(parameters.empty() ? L"" : L" ") + L"/elevated";
    run.log.write(L"administrator rights requested: starting " + quoted(program) + L" " + parameters +
                  L" as administrator");
    platform::process_handle started = 0;
    std::uint32_t error = 0;
    if (!run.sys.shell_execute_ex(program, parameters, platform::shell_verb::run_as_administrator, started, error) ||
        started == 0) {
        run.log.write(error == platform::error_cancelled
                          ? std::wstring(L"the request for administrator rights was declined")
                          : L"the copy with administrator rights did not start: " +
                                (started == 0 && error == 0 ? std::wstring(L"the shell started no program")
                                                            : platform::describe_error(run.sys, error)));
        return false;
    }
    const platform::owned_process copy(run.sys, started);
    run.sys.wait_process(copy.handle(), 0xFFFFFFFFu);
    std::uint32_t code = 0;
    if (!run.sys.exit_code(copy.handle(), code)) {
        run.log.write(L"the copy with administrator rights ended; its exit status cannot be read");
        run.record.failed = true;
        return true;
    }
    run.log.write(L"the copy with administrator rights ended with exit status " + text::decimal(code));
    status = static_cast<int>(code);
    return true;
}

// Runs the mode the settings choose, unless the rights they require are
// missing; the status is set when a copy with the rights ran instead.
void run_loaded(engine::run_context& run, const run_modes& modes, config::configuration_settings& settings,
                const switches& args, std::optional<int>& status)
{
    if (!settings.dialog_admin_required.empty() && !platform::is_current_user_admin(run.sys, run.sys)) {
        run.log.write(L"administrator rights are required and the user lacks them");
        if (args.elevated)
            run.log.write(L"/elevated: this copy still lacks administrator rights and does not ask for them again");
        if (asks_for_rights(settings, args, run.sys) && run_elevated_copy(run, status)) return;
        run.record.failed = true;
        refuse(run, settings.dialog_admin_required);
        return;
    }
    if (!take_the_run(run, settings)) return;
    config::configuration_settings copy = settings;
    if (settings.install_silent) {
        if (modes.silent) modes.silent(run, copy);
    } else {
        if (modes.interactive) modes.interactive(run, copy);
    }
}

// The list of switches, and nothing else: nothing is read or installed.
int show_help(platform::platform& sys, const switches& args)
{
    if (args.quiet) return 0;
    std::wstring program;
    if (!sys.module_path(program)) program = L"Setup.exe";
    std::wstring name = base::last_path_part(program);
    const std::wstring caption = name.substr(0, name.rfind(L'.'));
    sys.message_box(0, help_text(name), caption.c_str(), platform::box_icon::information, platform::box_buttons::ok);
    return 0;
}

// What the command line asked for, in the log.
void log_switches(engine::run_log& log, const switches& args, const std::wstring& log_path)
{
    if (args.quiet) {
        const bool as_typed = text::ascii_lower(args.quiet_as.substr(1)) == L"quiet";
        log.write((as_typed ? std::wstring(L"/quiet") : args.quiet_as + L" (as /quiet)") +
                  L": a silent, unattended run with the deployment exit statuses");
    }
    if (args.passive)
        log.write(args.quiet ? std::wstring(L"/passive: ignored beside /quiet")
                             : std::wstring(L"/passive: the dialog runs by itself and shows its progress, every "
                                            L"question is answered No, with the deployment exit statuses"));
    if (args.norestart) log.write(L"/norestart: every restart question is answered No");
    if (args.elevated) log.write(L"/elevated: started by Setup.exe with a request for administrator rights");
    if (!args.log_file.empty()) log.write(L"/log: " + (log_path.empty() ? args.log_file : log_path));
    for (const std::wstring& ignored : args.ignored) log.write(L"argument ignored: " + quoted(ignored));
}

}  // namespace

bool asks_for_rights(const config::configuration_settings& settings, const switches& args,
                     platform::system_facts& facts)
{
    if (settings.dialog_admin_required.empty() || args.elevated) return false;
    if (settings.install_silent && settings.unattended) return false;
    return platform::can_ask_for_rights(facts);
}

int run_setup(platform::platform& sys, const run_modes& modes, config::sources from)
{
    const switches args = parse_switches(split_command_line(sys.command_line()));
    if (args.help) return show_help(sys, args);

    engine::run_log log(sys, sys);
    engine::logged_ui ui(sys, log);
    engine::run_record record;
    engine::run_context run{sys, ui, log, record};
    run.never_restart = args.norestart;
    // Quiet from the very start: a configuration that cannot be read is
    // told to the log, not on the screen.
    if (args.quiet) go_unattended(run, ui);
    // Watched, but not answered: no question waits for anyone.
    const bool passive = args.passive && !args.quiet;
    if (passive) {
        go_unattended(run, ui);
        run.passive = true;
    }
    // The file the administrator named wins over the configuration's; one
    // that cannot be written is dropped like the configuration's would be.
    const std::wstring log_path = args.log_file.empty() ? std::wstring() : sys.full_path(args.log_file);
    if (!args.log_file.empty()) open_command_line_log(sys, log, log_path);

    std::wstring program;
    if (sys.module_path(program)) log.write(L"Setup.exe " + components::get_file_version_string(sys, program) + L" at " + program);
    log_switches(log, args, log_path);
    if (log.wanted()) {
        const std::wstring mark = engine::pending_restart_mark(sys);
        if (!mark.empty()) log.write(L"a restart of Windows is already pending: " + mark);
    }

    config::configuration_settings settings;
    config::reading_system reading(sys, sys, sys, ui);
    reading.log = &log;
    reading_log observer(run, ui);
    const bool loaded = config::load_setup_configuration(reading, settings, &observer, from);
    std::optional<int> copy_status;
    if (!loaded) {
        log.write(L"the configuration cannot be read");
        refuse(run, L"Failed to read configuration file.");
    } else {
        if (args.quiet) apply_quiet(settings);
        if (passive) apply_passive(settings);
        run_loaded(run, modes, settings, args, copy_status);
    }
    const int status =
        copy_status ? *copy_status : engine::exit_status(record, loaded, settings.detailed_exit_status);
    log.write(L"exit status " + text::decimal(static_cast<std::uint64_t>(status)));
    config::release_components(settings);
    return status;
}

}  // namespace run
