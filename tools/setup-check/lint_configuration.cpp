// The configuration element: its type, how it runs, its texts and formats,
// and the components list it hands on to the component checks.
#include "base/text.h"
#include "config/reader.h"
#include "lint_internal.h"

namespace setup_check {
namespace lint_detail {

namespace {

// Attributes that Setup.exe reads; and attributes that it accepts without
// any effect (the stored configuration carries them).
const std::set<std::string> configuration_attributes = {
    "lcid", "type", "dialog_caption", "dialog_message", "install_caption", "cancel_caption", "status_installed",
    "failed_exec_command_continue", "installation_completed", "reboot_required", "dialog_admin_required",
    "complete_command", "install_silent", "log_file", "detailed_exit_status", "unattended", "show_progress",
    "installing_component_wait", "install_wait_caption", "installation_failed"};
const std::set<std::string> configuration_inert = {
    "dialog_bitmap", "status_notinstalled", "dialog_otherinfo_caption",
    "dialog_otherinfo_link", "auto_close_if_installed", "advanced_caption", "dialog_selector_caption",
    "dialog_selector_message", "dialog_selector_ok", "dialog_selector_cancel"};

format_sequences scan_format(const std::wstring& f)
{
    format_sequences found;
    for (std::size_t i = 0; i < f.size(); ++i) {
        if (f[i] != L'%') continue;
        const wchar_t next = i + 1 < f.size() ? f[i + 1] : L'\0';
        if (next == L'%') {
            ++i;
        } else if (next == L's') {
            ++found.strings;
            ++i;
        } else {
            found.others.push_back(to_utf8(f.substr(i, next == L'\0' ? 1 : 2)));
        }
    }
    return found;
}

}  // namespace

void linter::check_configuration(const TiXmlElement& e, bool silent)
{
    check_attribute_names(e, "configuration", configuration_attributes, configuration_inert, {});
    check_child_names(e, "configuration", {"components"});
    check_configuration_type(e);
    check_language_list(e, "lcid");
    check_boolean(e, "install_silent");
    check_boolean(e, "detailed_exit_status");
    check_boolean(e, "unattended");
    check_boolean(e, "show_progress");
    check_markers(e, "log_file", true);
    check_run_mode(e, silent);
    check_configuration_texts(e, silent);
    if (has(e, "auto_close_if_installed") &&
        !config::read_bool_attribute(value(e, "auto_close_if_installed").c_str(), false))
        warning(place(e, "auto_close_if_installed"), "no-effect",
                "auto_close_if_installed has no effect: when nothing listed is missing, the dialog always starts "
                "the installation by itself");
    check_component_list(e, silent);
}

void linter::check_configuration_type(const TiXmlElement& e)
{
    const std::wstring type = value(e, "type");
    if (!has(e, "type") || type.empty())
        error(place(e, "type"), "configuration-type",
              "the configuration has no type: when it is chosen, Setup.exe fails with \"Invalid configuration "
              "file, configuration type not supported.\" (write type=\"install\")");
    else if (type != L"install")
        error(place(e, "type"), text::ascii_lower(type) == L"install" ? "keyword-case" : "configuration-type",
              (text::ascii_lower(type) == L"install" ? miscased("configuration type", to_utf8(type), "install")
                                                     : "configuration type " + quoted(type) + " is not supported") +
                  ": when it is chosen, Setup.exe fails with \"Invalid configuration file, configuration type not "
                  "supported.\"");
}

// Silent or interactive, unattended or showing its progress: what the later
// checks of this configuration depend on.
void linter::check_run_mode(const TiXmlElement& e, bool silent)
{
    const bool unattended =
        config::read_bool_attribute(has(e, "unattended") ? value(e, "unattended").c_str() : nullptr, false);
    unattended_run_ = unattended && silent;
    if (unattended && !silent)
        warning(place(e, "unattended"), "no-effect",
                "unattended acts in the silent run only: this configuration shows its dialog and its message "
                "boxes (set install_silent=\"true\" for an unattended run)");
    const bool show_progress = reader_->boolean(e, "show_progress", false);
    shows_progress_ = show_progress && !silent;
    if (show_progress && silent)
        warning(place(e, "show_progress"), "no-effect",
                "show_progress acts in the interactive run only: this configuration runs silently, without the "
                "dialog and without a download window");
    status_installed_ = value(e, "status_installed");
}

void linter::check_configuration_texts(const TiXmlElement& e, bool silent)
{
    const TiXmlElement* first_list = e.FirstChildElement("components");
    if (!silent) check_dialog_texts(e);
    if (shows_progress_) check_progress_message(e, first_list);
    if (first_list != nullptr && first_list->FirstChildElement() != nullptr) check_format(e);
    check_markers(e, "dialog_admin_required", true);
    check_markers(e, "complete_command", true);
    if (!check_start_text(e, "complete_command", "it is opened without arguments"))
        check_medium_file(e, "complete_command");
    for (const char* name : {"dialog_caption", "dialog_message", "install_caption", "cancel_caption",
                             "status_installed", "failed_exec_command_continue", "installation_completed",
                             "reboot_required", "installing_component_wait", "install_wait_caption",
                             "installation_failed"})
        check_markers(e, name, false);
    if (has(e, "installation_failed")) check_description_format(e, "installation_failed");
}

// Only the first components element is read; each element in it is a
// component.
void linter::check_component_list(const TiXmlElement& e, bool silent)
{
    const TiXmlElement* list = e.FirstChildElement("components");
    if (list == nullptr) {
        warning(&e, "components",
                "the configuration has no \"components\" element: there is nothing to install");
        return;
    }
    for (const TiXmlElement* more = list->NextSiblingElement("components"); more != nullptr;
         more = more->NextSiblingElement("components"))
        warning(more, "ignored", "only the first \"components\" element is read; this one is ignored");
    check_attribute_names(*list, "components", {}, {}, {});
    for (const TiXmlNode* n = list->FirstChild(); n != nullptr; n = n->NextSibling())
        if (const TiXmlElement* c = n->ToElement()) check_component(*c, silent);
}

void linter::check_format(const TiXmlElement& e)
{
    const char* name = "failed_exec_command_continue";
    const std::wstring f = value(e, name);
    if (f.empty()) {
        warning(place(e, name), "format",
                "no failed_exec_command_continue: the question after a failed component is empty");
        return;
    }
    const format_sequences found = scan_format(f);
    if (found.strings != 1)
        error(place(e, name), "format",
              "failed_exec_command_continue must hold exactly one %s, which takes the component's description; it "
              "holds " + std::to_string(found.strings) +
                  (found.strings > 1 ? " (only the first is replaced, the others are shown as written)" : ""));
    check_format_rest(e, name, found);
}

void linter::check_format_rest(const TiXmlElement& e, const char* name, const format_sequences& found)
{
    for (const auto& o : found.others)
        warning(place(e, name), "format",
                quoted(o) + " in " + name + " is shown as written (write %% for a percent sign)");
}

// A format with one %s that takes a component's description.
void linter::check_description_format(const TiXmlElement& e, const char* name)
{
    const format_sequences found = scan_format(value(e, name));
    if (found.strings > 1)
        warning(place(e, name), "format",
                std::string(name) + " holds " + std::to_string(found.strings) +
                    " %s: only the first takes the component's description, the others are shown as written");
    check_format_rest(e, name, found);
}

}  // namespace lint_detail
}  // namespace setup_check
