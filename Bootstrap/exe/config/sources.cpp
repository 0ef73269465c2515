#include "config/sources.h"

#include "base/paths.h"
#include "base/text.h"
#include "components/filters.h"
#include "config/document.h"
#include "config/path_markers.h"
#include "tinyxml.h"

namespace config {

namespace {

base::status read_document(reading_system sys, std::string& bytes, const wchar_t* parse_message,
                           configuration_settings& settings, reading_observer* observer)
{
    if (!within_document_limits(bytes)) return base::failure::message(parse_message);
    settings.document_fingerprint = text::fingerprint(bytes);
    const text_encoding encoding = detect_encoding(bytes);
    TiXmlDocument document;
    if (!parse_document(document, std::move(bytes), encoding)) return base::failure::message(parse_message);
    // Each component's element is dropped from the tree once it is read, so
    // that the tree and the components never stand in memory whole together.
    return select_configuration_node(attribute_reader(sys, encoding, observer), document.RootElement(), settings,
                                     read_elements::release);
}

}  // namespace

base::status select_configuration_node(const attribute_reader& reader, const TiXmlElement* root,
                                       configuration_settings& settings, read_elements elements)
{
    // A document without a root element is reported like a wrong root.
    if (root == nullptr || std::string(root->Value()) != "configurations")
        return base::failure::message(
            L"Invalid configuration file, node name not supported, expected 'configurations'.");

    int index = 0;
    for (const TiXmlNode* child = root->FirstChild(); child != nullptr; child = child->NextSibling()) {
        const TiXmlElement* e = child->ToElement();
        if (e == nullptr || std::string(e->Value()) != "configuration") continue;
        ++index;
        const std::wstring lcid = reader.text(*e, "lcid");
        const base::result<bool> accepts = components::language_filter_matches(reader.sys().facts, reader.sys().files, lcid);
        if (!accepts) return accepts.error();
        if (!accepts.value()) continue;
        // The first accepting element is the configuration of the run,
        // whatever follows it.
        if (reader.text(*e, "type") != L"install")
            return base::failure::message(L"Invalid configuration file, configuration type not supported.");
        if (reader.observer() != nullptr) reader.observer()->configuration_chosen(index, e->Row(), lcid);
        return read_configuration_node(reader, *e, settings, elements);
    }
    return base::failure::message(
        L"System not supported or invalid configuration, no valid 'configuration' node found.");
}

base::status read_configuration_file(reading_system sys, const std::wstring& path, configuration_settings& settings,
                                     reading_observer* observer)
{
    const wchar_t* const parse_failed = L"Invalid configuration file, failed to parse XML elements.";
    std::string bytes;
    if (sys.files.read_file(path, max_document_bytes, bytes) != platform::read_status::ok)
        return base::failure::message(parse_failed);
    return read_document(sys, bytes, parse_failed, settings, observer);
}

base::status read_configuration_resource(reading_system sys, configuration_settings& settings,
                                         reading_observer* observer)
{
    std::string bytes;
    switch (sys.facts.configuration_resource(bytes)) {
    case platform::resource_status::not_found:
        return base::failure::message(L"Resource RES_CONFIGURATION not found.");
    case platform::resource_status::load_failed:
        return base::failure::message(L"Failed to load resource RES_CONFIGURATION.");
    case platform::resource_status::lock_failed:
        return base::failure::message(L"Failed to lock resource RES_CONFIGURATION.");
    case platform::resource_status::ok:
        break;
    }
    return read_document(sys, bytes, L"Resource RES_CONFIGURATION is not a valid xml.", settings, observer);
}

std::wstring source_description(const std::wstring& path, const std::wstring& ignored)
{
    if (!path.empty()) return path;
    if (!ignored.empty())
        return L"the copy stored in the program (" + ignored +
               L" beside it is ignored: this build reads only its stored copy)";
    return L"the copy stored in the program (no setup.xml beside it)";
}

bool load_setup_configuration(reading_system sys, configuration_settings& settings, reading_observer* observer,
                              sources from)
{
    base::status loaded;
    const base::result<std::wstring> folder = get_application_directory(sys.facts);
    if (from == sources::stored_only) {
        if (observer != nullptr) {
            const std::wstring path = folder ? base::combine_path(folder.value(), L"setup.xml") : std::wstring();
            const bool beside = !path.empty() && sys.files.path_exists(path);
            observer->source_chosen(std::wstring(), beside ? path : std::wstring());
        }
        loaded = read_configuration_resource(sys, settings, observer);
    } else if (!folder) {
        loaded = folder.error();
    } else {
        const std::wstring path = base::combine_path(folder.value(), L"setup.xml");
        // This one test decides the source: a faulty file never falls back
        // to the stored copy.
        const bool beside = sys.files.path_exists(path);
        if (observer != nullptr) observer->source_chosen(beside ? path : std::wstring(), std::wstring());
        loaded = beside ? read_configuration_file(sys, path, settings, observer)
                        : read_configuration_resource(sys, settings, observer);
    }
    if (loaded) return true;
    sys.ui.message_box(0, loaded.error().shown_text(), nullptr, platform::box_icon::error, platform::box_buttons::ok);
    return false;
}

}  // namespace config
