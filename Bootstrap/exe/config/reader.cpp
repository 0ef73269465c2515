#include "config/reader.h"

#include <cstring>
#include <memory>

#include "components/filters.h"
#include "config/errors.h"
#include "config/paths.h"
#include "config/text.h"
#include "tinyxml.h"

namespace config {

std::wstring attribute_reader::text(const TiXmlElement& element, const char* name) const
{
    const char* value = element.Attribute(name);
    if (value == nullptr) return std::wstring();
    const std::string bytes(value);
    return encoding_ == text_encoding::utf8 ? text::utf8_to_wide(bytes) : sys_.ansi_to_wide(bytes);
}

std::wstring attribute_reader::path_text(const TiXmlElement& element, const char* name) const
{
    return expand_path_variables(sys_, text(element, name));
}

bool read_bool_attribute(const wchar_t* value, bool fallback)
{
    if (value == nullptr) return fallback;
    const std::wstring lower = text::ascii_lower(value);
    if (lower == L"true") return true;
    if (lower == L"false") return false;
    return fallback;
}

bool attribute_reader::boolean(const TiXmlElement& element, const char* name, bool fallback) const
{
    if (element.Attribute(name) == nullptr) return fallback;
    return read_bool_attribute(text(element, name).c_str(), fallback);
}

bool attribute_reader::presence_boolean(const TiXmlElement& element, const char* name) const
{
    if (element.Attribute(name) == nullptr) return false;
    return read_bool_attribute(text(element, name).c_str(), true);
}

namespace {

// An expected digest: 64 hexadecimal digits in any letter case, kept in
// lower case. Anything else is a configuration error, never silently
// ignored: a publisher who asked for a check must get it.
std::wstring read_digest(const attribute_reader& r, const TiXmlElement& e)
{
    if (e.Attribute("sha256") == nullptr) return std::wstring();
    std::wstring digest = text::ascii_lower(r.text(e, "sha256"));
    bool valid = digest.size() == 64;
    for (wchar_t c : digest) valid = valid && ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'));
    if (!valid)
        throw message_error{L"Invalid configuration file, the sha256 of a download must be 64 hexadecimal digits."};
    return digest;
}

std::unique_ptr<components::component> make_component(const attribute_reader& r, const TiXmlElement& e)
{
    platform::platform& sys = r.sys();
    const std::wstring type = r.text(e, "type");
    if (type == L"msi") {
        auto c = std::make_unique<components::msi_component>(sys);
        c->package = r.path_text(e, "package");
        c->cmdparameters = r.path_text(e, "cmdparameters");
        return c;
    }
    if (type == L"cmd") {
        auto c = std::make_unique<components::cmd_component>(sys);
        c->command = r.path_text(e, "command");
        return c;
    }
    if (type == L"openfile") {
        auto c = std::make_unique<components::openfile_component>(sys);
        c->file = r.path_text(e, "file");
        return c;
    }
    throw message_error{L"Invalid configuration file, component type not supported"};
}

std::unique_ptr<components::installedcheck> make_check(const attribute_reader& r, const TiXmlElement& e)
{
    const std::wstring type = r.text(e, "type");
    if (type == L"check_registry_value") {
        auto c = std::make_unique<components::installedcheck_check_registry_value>(r.sys());
        c->fieldname = r.text(e, "fieldname");
        c->fieldtype = r.text(e, "fieldtype");
        c->fieldvalue = r.text(e, "fieldvalue");
        c->path = r.text(e, "path");
        c->comparison = r.text(e, "comparison");
        return c;
    }
    if (type == L"check_file") {
        auto c = std::make_unique<components::installedcheck_check_file>(r.sys());
        c->filename = r.path_text(e, "filename");
        c->fileversion = r.text(e, "fileversion");
        c->comparison = r.text(e, "comparison");
        return c;
    }
    throw message_error{L"Invalid configuration file, installed check type not supported"};
}

}  // namespace

void read_download_dialog_node(const attribute_reader& r, const TiXmlElement& node,
                               download_dialog_settings& settings)
{
    settings.downloads.clear();
    // A `downloaddialog` without `downloads` is treated like an empty one.
    if (const TiXmlElement* downloads = node.FirstChildElement("downloads")) {
        for (const TiXmlElement* d = downloads->FirstChildElement("download"); d != nullptr;
             d = d->NextSiblingElement("download")) {
            download_item item;
            item.componentname = r.text(*d, "componentname");
            item.sourceurl = r.path_text(*d, "sourceurl");
            item.destinationpath = r.path_text(*d, "destinationpath");
            item.destinationfilename = r.path_text(*d, "destinationfilename");
            item.sha256 = read_digest(r, *d);
            settings.downloads.push_back(std::move(item));
        }
    }
    if (settings.downloads.empty()) {
        r.sys().message_box(0, L"No download components found. downloads node is empty.", nullptr,
                            platform::mb_iconerror);
        throw code_error{};
    }
}

void read_configuration_node(const attribute_reader& r, const TiXmlElement& node,
                             configuration_settings& settings, read_elements elements)
{
    platform::platform& sys = r.sys();
    const int os_code = components::get_os_version_code(sys);

    settings.dialog_caption = r.text(node, "dialog_caption");
    settings.dialog_message = r.text(node, "dialog_message");
    settings.install_caption = r.text(node, "install_caption");
    settings.cancel_caption = r.text(node, "cancel_caption");
    settings.status_installed = r.text(node, "status_installed");
    settings.failed_exec_command_continue = r.text(node, "failed_exec_command_continue");
    settings.installation_completed = r.text(node, "installation_completed");
    settings.reboot_required = r.text(node, "reboot_required");
    settings.dialog_admin_required = r.path_text(node, "dialog_admin_required");
    settings.complete_command = r.path_text(node, "complete_command");
    settings.install_silent = r.boolean(node, "install_silent", false);

    settings.components.clear();
    // A configuration without `components` has an empty component list.
    const TiXmlElement* list = node.FirstChildElement("components");
    if (list == nullptr) return;

    const TiXmlNode* next = nullptr;
    for (const TiXmlNode* child = list->FirstChild(); child != nullptr; child = next) {
        next = child->NextSibling();
        // The loader owns the document and lets the reader drop what it has
        // read; the element goes once this pass over it ends, however it ends.
        struct release_after {
            const TiXmlNode* node;
            bool release;
            ~release_after()
            {
                if (release) const_cast<TiXmlNode*>(node->Parent())->RemoveChild(const_cast<TiXmlNode*>(node));
            }
        } drop{child, elements == read_elements::release};
        const TiXmlElement* e = child->ToElement();
        if (e == nullptr) continue;

        std::unique_ptr<components::component> c = make_component(r, *e);
        c->description = r.text(*e, "description");
        c->os_filter_greater = r.text(*e, "os_filter_greater");
        c->os_filter_smaller = r.text(*e, "os_filter_smaller");
        c->os_filter_lcid = r.text(*e, "os_filter_lcid");
        c->installcompletemessage = r.text(*e, "installcompletemessage");
        c->mustreboot = r.boolean(*e, "mustreboot", false);
        c->required = r.presence_boolean(*e, "required");
        c->required_message = r.text(*e, "required_message");
        c->admin_required = r.text(*e, "admin_required");
        c->primary = r.presence_boolean(*e, "primary");

        for (const TiXmlElement* check = e->FirstChildElement("installedcheck"); check != nullptr;
             check = check->NextSiblingElement("installedcheck"))
            c->installed_checks.push_back(make_check(r, *check));

        c->has_download_dialog = false;
        if (const TiXmlElement* dialog = e->FirstChildElement("downloaddialog")) {
            read_download_dialog_node(r, *dialog, c->download_dialog);
            c->has_download_dialog = true;
        }

        c->selected = false;
        if (components::os_version_in_range(os_code, c->os_filter_greater, c->os_filter_smaller) &&
            components::language_filter_matches(sys, c->os_filter_lcid)) {
            c->selected = !c->is_installed();
            settings.components.push_back(std::move(c));
        }
    }
}

}  // namespace config
