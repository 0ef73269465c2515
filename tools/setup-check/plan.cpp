#include "plan.h"

#include <stdexcept>

#include "components/component.h"
#include "components/filters.h"
#include "base/paths.h"
#include "base/text.h"
#include "config/settings.h"
#include "config/sources.h"
#include "lint.h"
#include "os_codes.h"
#include "stub_platform.h"
#include "tinyxml.h"

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

}  // namespace

plan_result make_plan(const std::string& document_bytes, const plan_options& options)
{
    const std::optional<os_code_entry> entry = find_os_code(options.os_code);
    if (!entry)
        throw std::invalid_argument("no Windows version has the code " + std::to_string(options.os_code) +
                                    "; the codes are " + os_code_list());
    if (options.language < 0 || options.language > 0xFFFF)
        throw std::invalid_argument("a language is a number from 0 to 65535");

    stub_platform sys;
    sys.version = entry->version;
    if (entry->hotfix_q246009) sys.machine_keys.insert(hotfix_key);
    sys.language = static_cast<std::uint16_t>(options.language);
    sys.module = base::combine_path(options.app_dir, L"Setup.exe");
    sys.contents[text::ascii_lower(base::combine_path(options.app_dir, L"setup.xml"))] = document_bytes;
    for (const auto& f : options.files) add_file(sys, f);
    for (const auto& k : options.keys) sys.machine_keys.insert(text::ascii_lower(k));

    plan_result result;
    result.os_code = components::get_os_version_code(sys, sys);
    const std::optional<os_code_entry> seen = find_os_code(result.os_code);
    result.os_name = seen ? seen->name : "unknown";

    // The loader of Setup.exe itself: source, parsing, the choice of the
    // configuration element, the reader, and the messages on failure.
    config::configuration_settings settings;
    result.loaded = config::load_setup_configuration(config::reading_system(sys), settings);
    for (const auto& m : sys.messages) result.boxes.push_back({m.text, m.caption.value_or(L"")});
    if (!result.loaded) {
        result.boxes.push_back({L"Failed to read configuration file.", L""});
        return result;
    }

    // Where in the file the reader's results came from.
    TiXmlDocument document;
    config::text_encoding encoding;
    parse_like_setup(document_bytes, document, encoding);
    const config::attribute_reader reader(config::reading_system(sys), encoding);
    const TiXmlElement* chosen = nullptr;
    int index = 0;
    for (const TiXmlNode* n = document.RootElement()->FirstChild(); n != nullptr && chosen == nullptr;
         n = n->NextSibling()) {
        const TiXmlElement* e = n->ToElement();
        if (e == nullptr || std::string(e->Value()) != "configuration") continue;
        ++index;
        const base::result<bool> accepts = components::language_filter_matches(sys, sys, reader.text(*e, "lcid"));
        if (accepts && accepts.value()) chosen = e;
    }
    if (chosen != nullptr) {
        result.configuration_index = index;
        result.configuration_line = chosen->Row();
        result.lcid = reader.text(*chosen, "lcid");
    }
    result.install_silent = settings.install_silent;
    result.dialog_admin_required = settings.dialog_admin_required;
    result.complete_command = settings.complete_command;

    std::size_t next = 0;
    const TiXmlElement* list = chosen != nullptr ? chosen->FirstChildElement("components") : nullptr;
    for (const TiXmlNode* n = list != nullptr ? list->FirstChild() : nullptr; n != nullptr; n = n->NextSibling()) {
        const TiXmlElement* e = n->ToElement();
        if (e == nullptr) continue;
        const std::wstring greater = reader.text(*e, "os_filter_greater");
        const std::wstring smaller = reader.text(*e, "os_filter_smaller");
        const std::wstring lcid = reader.text(*e, "os_filter_lcid");
        const base::result<bool> in_range = components::os_version_in_range(result.os_code, greater, smaller);
        if (in_range && !in_range.value()) {
            result.left_out.push_back({e->Row(), reader.text(*e, "description"),
                                       "the version code " + std::to_string(result.os_code) +
                                           " does not lie strictly between os_filter_greater " +
                                           bound_text(greater, "(open)") + " and os_filter_smaller " +
                                           bound_text(smaller, "(open)")});
            continue;
        }
        const base::result<bool> accepts = components::language_filter_matches(sys, sys, lcid);
        if (accepts && !accepts.value()) {
            result.left_out.push_back({e->Row(), reader.text(*e, "description"),
                                       "the language " + std::to_string(options.language) +
                                           " is not accepted by os_filter_lcid \"" + to_utf8(lcid) + "\""});
            continue;
        }
        if (next >= settings.components.size()) break;  // cannot happen: the reader kept the same ones
        const components::component& c = *settings.components[next++];
        planned_component p;
        p.line = e->Row();
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
        p.admin_required = c.admin_required;
        for (const auto& d : c.download_dialog.downloads)
            p.downloads.push_back({d.componentname, d.sourceurl, d.destinationpath, d.destinationfilename});
        result.components.push_back(p);
    }
    return result;
}

}  // namespace setup_check
