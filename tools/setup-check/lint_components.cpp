// A component: its element and kind, what it starts, its texts, and the
// filters (Windows version bounds and language lists) that leave it out.
#include <algorithm>

#include "components/filters.h"
#include "base/text.h"
#include "lint_internal.h"
#include "os_codes.h"

namespace setup_check {
namespace lint_detail {

namespace {

// Attributes that Setup.exe reads for every component, for each kind, and
// those it accepts without any effect.
const std::set<std::string> component_attributes = {
    "type", "description", "os_filter_greater", "os_filter_smaller", "os_filter_lcid", "installcompletemessage",
    "mustreboot", "required", "required_message", "admin_required", "primary"};
const std::map<std::string, std::set<std::string>> component_kind_attributes = {
    {"msi", {"package", "cmdparameters"}}, {"cmd", {"command"}}, {"openfile", {"file"}}};
const std::set<std::string> component_inert = {"note"};

// A switch that keeps msiexec from waiting for the user, with "/" or "-" and
// in any letter case: "!" and "-" only trim its window, "+" adds a closing
// message box that waits.
bool is_quiet_switch(const std::wstring& token)
{
    if (token.size() < 2 || (token[0] != L'/' && token[0] != L'-')) return false;
    const std::wstring word = text::ascii_lower(token.substr(1));
    if (word == L"quiet" || word == L"passive" || word == L"q") return true;
    if (word.rfind(L"qn", 0) != 0 && word.rfind(L"qb", 0) != 0) return false;
    return word.find_first_not_of(L"!-", 2) == std::wstring::npos;
}

}  // namespace

void linter::check_component(const TiXmlElement& e, bool silent)
{
    check_component_element_name(e);
    const std::string type = check_component_type(e);
    check_component_start(e, type);
    check_component_texts(e);
    if (!silent) check_row_text(e);
    check_component_filters(e);
    for (const TiXmlElement* check = e.FirstChildElement("installedcheck"); check != nullptr;
         check = check->NextSiblingElement("installedcheck"))
        check_installed_check(*check);
    const TiXmlElement* dialog = e.FirstChildElement("downloaddialog");
    if (dialog != nullptr) {
        for (const TiXmlElement* more = dialog->NextSiblingElement("downloaddialog"); more != nullptr;
             more = more->NextSiblingElement("downloaddialog"))
            warning(more, "ignored", "only the first \"downloaddialog\" of a component is read; this one is ignored");
        check_download_dialog(*dialog, silent);
    }
}

void linter::check_component_element_name(const TiXmlElement& e)
{
    const std::string element_name = e.Value();
    if (element_name == "component") return;
    const bool misplaced = element_name == "installedcheck" || element_name == "downloaddialog" ||
                           element_name == "download" || element_name == "downloads";
    warning(&e, "component-element",
            "every element inside \"components\" is read as a component, this " + quoted(element_name) +
                " element too" + (misplaced ? " (it belongs inside a component)" : ""));
}

// The type decides the kind and which attributes it reads.
std::string linter::check_component_type(const TiXmlElement& e)
{
    const std::wstring type_text = value(e, "type");
    const std::string type = to_utf8(type_text);
    const std::string failure = "Setup.exe fails to load the configuration with \"Invalid configuration file, "
                                "component type not supported\"";
    const bool known = component_kind_attributes.count(type) > 0;
    std::set<std::string> read = component_attributes;
    std::set<std::string> elsewhere;
    // An unknown type already fails the whole configuration: its attributes
    // are not reported on top of that.
    split_kind_attributes(component_kind_attributes, known ? type : "", read, elsewhere);
    if (!has(e, "type") || type_text.empty()) {
        error(place(e, "type"), "component-type", "the component has no type (msi, cmd or openfile): " + failure);
    } else if (!known) {
        const std::string variant = case_variant(type, {"msi", "cmd", "openfile"});
        if (!variant.empty())
            error(place(e, "type"), "keyword-case", miscased("component type", type, variant) + ": " + failure);
        else
            error(place(e, "type"), "component-type",
                  "component type " + quoted(type) + " is not one of msi, cmd, openfile: " + failure);
    }
    check_attribute_names(e, "component", read, component_inert, elsewhere);
    check_child_names(e, "component", {"installedcheck", "downloaddialog"});
    return type;
}

// What the component starts: present, with its markers right, without
// arguments, and on the medium or fetched by its downloads. With a type that
// is not understood, the attributes of every kind are still checked.
void linter::check_component_start(const TiXmlElement& e, const std::string& written_type)
{
    std::string type = written_type;
    if (component_kind_attributes.count(type) == 0) type = case_variant(type, {"msi", "cmd", "openfile"});
    const bool unknown = type.empty();
    if (type == "cmd") {
        if (value(e, "command").empty())
            error(place(e, "command"), "missing-attribute", "a cmd component without a command cannot start");
    } else if (type == "msi") {
        if (value(e, "package").empty())
            error(place(e, "package"), "missing-attribute", "an msi component without a package cannot start");
    } else if (type == "openfile") {
        if (value(e, "file").empty())
            error(place(e, "file"), "missing-attribute", "an openfile component without a file opens nothing");
    }
    if (type == "cmd" || (unknown && has(e, "command")))
        check_start(e, "command",
                    "a command cannot carry arguments: start a program that needs none, or install a package "
                    "through an msi component and its cmdparameters");
    if (type == "msi" || (unknown && has(e, "package"))) {
        check_start(e, "package", "put the installer's options into cmdparameters");
        check_markers(e, "cmdparameters", true);
        if (unattended_run_) check_quiet_package(e);
    }
    if (type == "openfile" || (unknown && has(e, "file"))) check_start(e, "file", "a file is opened without arguments");
    if (type != "msi" && !unknown && has(e, "cmdparameters")) check_markers(e, "cmdparameters", false);
}

// Nobody answers a package's own dialog in an unattended run: msiexec must
// be told to show none that waits.
void linter::check_quiet_package(const TiXmlElement& e)
{
    const std::wstring parameters = value(e, "cmdparameters");
    std::size_t i = 0;
    while (i < parameters.size()) {
        while (i < parameters.size() && text::is_space(parameters[i])) ++i;
        std::size_t end = i;
        while (end < parameters.size() && !text::is_space(parameters[end])) ++end;
        if (is_quiet_switch(parameters.substr(i, end - i))) return;
        i = end;
    }
    warning(place(e, "cmdparameters"), "quiet",
            (parameters.empty() ? std::string("the package has no cmdparameters, so no")
                                : "cmdparameters " + quoted(parameters) + " hold no") +
                " quiet switch (/qn, /quiet, /passive or /qb, without +): in this unattended run the package "
                "shows its own dialog, which waits for a click that never comes");
}

void linter::check_component_texts(const TiXmlElement& e)
{
    if (value(e, "description").empty())
        warning(place(e, "description"), "description",
                "the component has no description: its row in the check list and the failure question show "
                "no name");
    for (const char* name : {"description", "installcompletemessage", "required_message", "admin_required"})
        check_markers(e, name, false);
    check_boolean(e, "mustreboot");
    check_presence_boolean(e, "required");
    check_presence_boolean(e, "primary");
}

void linter::check_component_filters(const TiXmlElement& e)
{
    std::int32_t lower_bound = -10000;
    std::int32_t upper_bound = 10000;
    const bool lower_ok = check_bound(e, "os_filter_greater", lower_bound);
    const bool upper_ok = check_bound(e, "os_filter_smaller", upper_bound);
    if (lower_ok && upper_ok) {
        const bool any = std::any_of(os_codes().begin(), os_codes().end(), [&](const os_code_entry& c) {
            return lower_bound < c.code && c.code < upper_bound;
        });
        if (!any)
            warning(place(e, has(e, "os_filter_smaller") ? "os_filter_smaller" : "os_filter_greater"), "os-filter",
                    "no Windows version code lies strictly between os_filter_greater " +
                        std::to_string(lower_bound) + " and os_filter_smaller " + std::to_string(upper_bound) +
                        ": the component is left out on every system");
    }
    check_language_list(e, "os_filter_lcid");
}

bool linter::check_bound(const TiXmlElement& e, const char* name, std::int32_t& bound)
{
    const std::wstring trimmed = text::trim(value(e, name));
    if (trimmed.empty()) return true;
    std::size_t pos = 0;
    std::int32_t number = 0;
    if (!text::scan_int(trimmed, pos, number)) {
        error(place(e, name), "os-filter",
              std::string(name) + " " + quoted(trimmed) +
                  " is not a number: Setup.exe fails to load the configuration with \"Error loading configuration "
                  "file\"");
        return false;
    }
    if (pos < trimmed.size())
        warning(place(e, name), "os-filter",
                std::string(name) + " " + quoted(trimmed) + " reads as " + std::to_string(number) +
                    "; the rest is ignored");
    bound = number;
    return true;
}

void linter::check_language_list(const TiXmlElement& e, const char* name)
{
    const std::wstring list = value(e, name);
    if (list.empty()) return;
    const std::vector<components::language_entry> entries = components::split_language_list(list);
    for (const components::language_entry& entry : entries) {
        if (!entry.is_number) {
            const std::wstring trimmed = text::trim(entry.text);
            error(place(e, name), "language-list",
                  std::string(name) + " entry " + quoted(entry.text) +
                      " is not a language number: Setup.exe fails to load the configuration with \"Error loading "
                      "configuration file\"" +
                      (!trimmed.empty() && trimmed[0] == L'!' ? " (no blank may stand before !)" : ""));
        } else if (!entry.whole) {
            warning(place(e, name), "language-list",
                    std::string(name) + " entry " + quoted(entry.text) + " reads as " + (entry.negated ? "!" : "") +
                        std::to_string(entry.language) + "; the rest is ignored");
        } else if (entry.language <= 0 || entry.language > 0xFFFF) {
            warning(place(e, name), "language-list",
                    std::string(name) + " entry " + quoted(entry.text) +
                        " is not a Windows language identifier (1 to 65535)");
        }
    }
    if (entries.empty())
        warning(place(e, name), "language-list",
                std::string(name) + " " + quoted(list) + " holds only commas and accepts no system");
}

}  // namespace lint_detail
}  // namespace setup_check
