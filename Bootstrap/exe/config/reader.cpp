#include "config/reader.h"

#include <memory>

#include "base/text.h"
#include "components/filters.h"
#include "config/path_markers.h"
#include "tinyxml.h"

namespace config {

std::wstring attribute_reader::text(const TiXmlElement& element, const char* name) const
{
    const char* value = element.Attribute(name);
    if (value == nullptr) return std::wstring();
    const std::string bytes(value);
    return encoding_ == text_encoding::utf8 ? text::utf8_to_wide(bytes) : sys_.facts.ansi_to_wide(bytes);
}

std::wstring attribute_reader::text_or(const TiXmlElement& element, const char* name, const wchar_t* fallback) const
{
    std::wstring t = text(element, name);
    return t.empty() ? std::wstring(fallback) : t;
}

base::result<std::wstring> attribute_reader::path_text(const TiXmlElement& element, const char* name) const
{
    return expand_path_variables(sys_.facts, text(element, name));
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

// Path texts read one after the other: the first failure is kept, and every
// later one is not even tried.
class path_texts {
public:
    path_texts(const attribute_reader& reader, const TiXmlElement& element) : reader_(reader), element_(element) {}

    void read(const char* name, std::wstring& into)
    {
        if (!outcome_) return;
        base::result<std::wstring> r = reader_.path_text(element_, name);
        if (r)
            into = std::move(r.value());
        else
            outcome_ = r.error();
    }
    const base::status& outcome() const { return outcome_; }

private:
    const attribute_reader& reader_;
    const TiXmlElement& element_;
    base::status outcome_;
};

// An expected digest: 64 hexadecimal digits in any letter case, kept in
// lower case. Anything else is a configuration error, never silently
// ignored: a publisher who asked for a check must get it.
base::status read_digest(const attribute_reader& r, const TiXmlElement& e, std::wstring& digest)
{
    if (e.Attribute("sha256") == nullptr) return {};
    digest = text::ascii_lower(r.text(e, "sha256"));
    bool valid = digest.size() == 64;
    for (wchar_t c : digest) valid = valid && ((c >= L'0' && c <= L'9') || (c >= L'a' && c <= L'f'));
    if (!valid)
        return base::failure::message(
            L"Invalid configuration file, the sha256 of a download must be 64 hexadecimal digits.");
    return {};
}

base::result<std::unique_ptr<components::component>> make_component(const attribute_reader& r,
                                                                    const TiXmlElement& e)
{
    const std::wstring type = r.text(e, "type");
    path_texts paths(r, e);
    std::unique_ptr<components::component> made;
    if (type == L"msi") {
        auto c = std::make_unique<components::msi_component>();
        paths.read("package", c->package);
        paths.read("cmdparameters", c->cmdparameters);
        made = std::move(c);
    } else if (type == L"cmd") {
        auto c = std::make_unique<components::cmd_component>();
        paths.read("command", c->command);
        made = std::move(c);
    } else if (type == L"openfile") {
        auto c = std::make_unique<components::openfile_component>();
        paths.read("file", c->file);
        made = std::move(c);
    } else {
        return base::failure::message(L"Invalid configuration file, component type not supported");
    }
    if (!paths.outcome()) return paths.outcome().error();
    return made;
}

base::result<std::unique_ptr<components::installedcheck>> make_check(const attribute_reader& r,
                                                                    const TiXmlElement& e)
{
    const reading_system& sys = r.sys();
    const std::wstring type = r.text(e, "type");
    if (type == L"check_registry_value") {
        auto c = std::make_unique<components::installedcheck_check_registry_value>(sys.registry, sys.ui, sys.log);
        c->fieldname = r.text(e, "fieldname");
        c->fieldtype = r.text(e, "fieldtype");
        c->fieldvalue = r.text(e, "fieldvalue");
        c->path = r.text(e, "path");
        c->comparison = r.text(e, "comparison");
        c->view = r.text(e, "view");
        return std::unique_ptr<components::installedcheck>(std::move(c));
    }
    if (type == L"check_file") {
        auto c = std::make_unique<components::installedcheck_check_file>(sys.files, sys.ui, sys.log);
        path_texts paths(r, e);
        paths.read("filename", c->filename);
        if (!paths.outcome()) return paths.outcome().error();
        c->fileversion = r.text(e, "fileversion");
        c->comparison = r.text(e, "comparison");
        return std::unique_ptr<components::installedcheck>(std::move(c));
    }
    return base::failure::message(L"Invalid configuration file, installed check type not supported");
}

void tell(const attribute_reader& r, const TiXmlElement& e, const components::component& c,
          component_verdict verdict)
{
    if (r.observer() != nullptr) r.observer()->component_read(e.Row(), c, verdict);
}

// Reads one component element: null when its filters leave it out.
base::result<std::unique_ptr<components::component>> read_component(const attribute_reader& r,
                                                                    const TiXmlElement& e, int os_code)
{
    base::result<std::unique_ptr<components::component>> made = make_component(r, e);
    if (!made) return made;
    components::component& c = *made.value();
    c.description = r.text(e, "description");
    c.os_filter_greater = r.text(e, "os_filter_greater");
    c.os_filter_smaller = r.text(e, "os_filter_smaller");
    c.os_filter_lcid = r.text(e, "os_filter_lcid");
    c.installcompletemessage = r.text(e, "installcompletemessage");
    c.mustreboot = r.boolean(e, "mustreboot", false);
    c.required = r.presence_boolean(e, "required");
    c.required_message = r.text(e, "required_message");
    c.admin_required = r.text(e, "admin_required");
    c.primary = r.presence_boolean(e, "primary");

    for (const TiXmlElement* check = e.FirstChildElement("installedcheck"); check != nullptr;
         check = check->NextSiblingElement("installedcheck")) {
        base::result<std::unique_ptr<components::installedcheck>> made_check = make_check(r, *check);
        if (!made_check) return made_check.error();
        c.installed_checks.push_back(std::move(made_check.value()));
    }

    c.has_download_dialog = false;
    if (const TiXmlElement* dialog = e.FirstChildElement("downloaddialog")) {
        const base::status read = read_download_dialog_node(r, *dialog, c.download_dialog);
        if (!read) return read.error();
        c.has_download_dialog = true;
    }

    // The filters decide whether the component is kept; only a kept one has
    // its installed checks asked.
    c.selected = false;
    const base::result<bool> in_range = components::os_version_in_range(os_code, c.os_filter_greater, c.os_filter_smaller);
    if (!in_range) return in_range.error();
    if (!in_range.value()) {
        tell(r, e, c, component_verdict::outside_version_range);
        return std::unique_ptr<components::component>();
    }
    const base::result<bool> language =
        components::language_filter_matches(r.sys().facts, r.sys().files, c.os_filter_lcid);
    if (!language) return language.error();
    if (!language.value()) {
        tell(r, e, c, component_verdict::language_not_accepted);
        return std::unique_ptr<components::component>();
    }
    c.selected = !c.is_installed();
    tell(r, e, c, component_verdict::kept);
    return made;
}

}  // namespace

base::status read_download_dialog_node(const attribute_reader& r, const TiXmlElement& node,
                                       components::download_dialog_settings& settings)
{
    settings.downloads.clear();
    settings.dialog_caption = r.text(node, "dialog_caption");
    settings.dialog_message = r.text(node, "dialog_message");
    settings.dialog_message_downloading = r.text(node, "dialog_message_downloading");
    settings.buttonstart_caption = r.text(node, "buttonstart_caption");
    settings.buttoncancel_caption = r.text(node, "buttoncancel_caption");
    settings.autostartdownload = r.boolean(node, "autostartdownload", true);
    settings.progress_text = r.text_or(node, "progress_text", default_progress_text);
    settings.progress_text_no_size = r.text_or(node, "progress_text_no_size", default_progress_text_no_size);
    settings.retry_text = r.text_or(node, "retry_text", default_retry_text);
    // A `downloaddialog` without `downloads` is treated like an empty one.
    if (const TiXmlElement* downloads = node.FirstChildElement("downloads")) {
        for (const TiXmlElement* d = downloads->FirstChildElement("download"); d != nullptr;
             d = d->NextSiblingElement("download")) {
            components::download_item item;
            item.componentname = r.text(*d, "componentname");
            path_texts paths(r, *d);
            paths.read("sourceurl", item.sourceurl);
            paths.read("destinationpath", item.destinationpath);
            paths.read("destinationfilename", item.destinationfilename);
            if (!paths.outcome()) return paths.outcome();
            const base::status digest = read_digest(r, *d, item.sha256);
            if (!digest) return digest;
            settings.downloads.push_back(std::move(item));
        }
    }
    if (settings.downloads.empty()) {
        r.sys().ui.message_box(0, L"No download components found. downloads node is empty.", nullptr,
                               platform::box_icon::error, platform::box_buttons::ok);
        return base::failure::loading(L"a downloaddialog lists no download");
    }
    return {};
}

base::status read_configuration_node(const attribute_reader& r, const TiXmlElement& node,
                                     configuration_settings& settings, read_elements elements)
{
    const reading_system& sys = r.sys();
    const int os_code = components::get_os_version_code(sys.facts, sys.registry);

    settings.dialog_caption = r.text(node, "dialog_caption");
    settings.dialog_message = r.text(node, "dialog_message");
    settings.install_caption = r.text(node, "install_caption");
    settings.cancel_caption = r.text(node, "cancel_caption");
    settings.status_installed = r.text(node, "status_installed");
    settings.failed_exec_command_continue = r.text(node, "failed_exec_command_continue");
    settings.installation_completed = r.text(node, "installation_completed");
    settings.reboot_required = r.text(node, "reboot_required");
    path_texts paths(r, node);
    paths.read("dialog_admin_required", settings.dialog_admin_required);
    paths.read("complete_command", settings.complete_command);
    if (!paths.outcome()) return paths.outcome();
    settings.install_silent = r.boolean(node, "install_silent", false);
    paths.read("log_file", settings.log_file);
    if (!paths.outcome()) return paths.outcome();
    settings.detailed_exit_status = r.boolean(node, "detailed_exit_status", false);
    settings.unattended = r.boolean(node, "unattended", false);
    settings.show_progress = r.boolean(node, "show_progress", false);
    settings.installing_component_wait = r.text(node, "installing_component_wait");
    settings.install_wait_caption = r.text_or(node, "install_wait_caption", default_install_wait_caption);
    settings.installation_failed = r.text_or(node, "installation_failed", default_installation_failed);
    if (r.observer() != nullptr) r.observer()->settings_read(settings, os_code);

    settings.components.clear();
    // A configuration without `components` has an empty component list.
    const TiXmlElement* list = node.FirstChildElement("components");
    if (list == nullptr) return {};

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
        base::result<std::unique_ptr<components::component>> c = read_component(r, *e, os_code);
        if (!c) return c.error();
        if (c.value()) settings.components.push_back(std::move(c.value()));
    }
    return {};
}

}  // namespace config
