#include "config/sources.h"

#include <new>

#include "components/filters.h"
#include "config/errors.h"
#include "config/paths.h"
#include "config/text.h"
#include "tinyxml.h"

namespace config {

namespace {

bool starts_with(const std::string& s, std::size_t at, const char* prefix)
{
    return s.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The value of `encoding` in a leading XML declaration; false when there is
// no declaration or it names no encoding.
bool declared_encoding(const std::string& doc, std::size_t start, std::string& value)
{
    if (!starts_with(doc, start, "<?xml")) return false;
    const std::size_t end = doc.find("?>", start);
    if (end == std::string::npos) return false;
    const std::string decl = doc.substr(start, end - start);
    std::size_t pos = decl.find("encoding");
    if (pos == std::string::npos) return false;
    pos += 8;
    while (pos < decl.size() && (decl[pos] == ' ' || decl[pos] == '\t' || decl[pos] == '\r' || decl[pos] == '\n')) ++pos;
    if (pos >= decl.size() || decl[pos] != '=') return false;
    ++pos;
    while (pos < decl.size() && (decl[pos] == ' ' || decl[pos] == '\t' || decl[pos] == '\r' || decl[pos] == '\n')) ++pos;
    if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\'')) return false;
    const char quote = decl[pos++];
    const std::size_t close = decl.find(quote, pos);
    if (close == std::string::npos) return false;
    value = decl.substr(pos, close - pos);
    return !value.empty();
}

// Parses a whole document; false when the parser reports an error.
bool parse_document(TiXmlDocument& document, const std::string& bytes, text_encoding encoding)
{
    // The parser reads a zero-terminated buffer: whatever follows an embedded
    // zero byte is not part of the document.
    document.Parse(bytes.c_str(), nullptr,
                   encoding == text_encoding::utf8 ? TIXML_ENCODING_UTF8 : TIXML_ENCODING_LEGACY);
    return !document.Error();
}

void read_document(platform::platform& sys, const std::string& bytes, const wchar_t* parse_message,
                   configuration_settings& settings)
{
    const text_encoding encoding = detect_encoding(bytes);
    TiXmlDocument document;
    if (!parse_document(document, bytes, encoding)) throw message_error{parse_message};
    select_configuration_node(attribute_reader(sys, encoding), document.RootElement(), settings);
}

}  // namespace

text_encoding detect_encoding(const std::string& document)
{
    if (starts_with(document, 0, "\xEF\xBB\xBF")) return text_encoding::utf8;
    // The parser skips white space before the declaration, and so does this.
    const std::size_t start = document.find_first_not_of(" \t\r\n");
    std::string declared;
    if (start != std::string::npos && declared_encoding(document, start, declared)) {
        const std::wstring name = text::ascii_lower(text::narrow_to_wide_ascii(declared));
        return (name == L"utf-8" || name == L"utf8") ? text_encoding::utf8 : text_encoding::ansi;
    }
    return text::is_valid_utf8(document) ? text_encoding::utf8 : text_encoding::ansi;
}

void select_configuration_node(const attribute_reader& reader, const TiXmlElement* root,
                               configuration_settings& settings)
{
    // A document without a root element is reported like a wrong root.
    if (root == nullptr || std::string(root->Value()) != "configurations")
        throw message_error{L"Invalid configuration file, node name not supported, expected 'configurations'."};

    for (const TiXmlNode* child = root->FirstChild(); child != nullptr; child = child->NextSibling()) {
        const TiXmlElement* e = child->ToElement();
        if (e == nullptr || std::string(e->Value()) != "configuration") continue;
        if (!components::language_filter_matches(reader.sys(), reader.text(*e, "lcid"))) continue;
        // The first accepting element is the configuration of the run,
        // whatever follows it.
        if (reader.text(*e, "type") != L"install")
            throw message_error{L"Invalid configuration file, configuration type not supported."};
        read_configuration_node(reader, *e, settings);
        return;
    }
    throw message_error{L"System not supported or invalid configuration, no valid 'configuration' node found."};
}

void read_configuration_file(platform::platform& sys, const std::wstring& path, configuration_settings& settings)
{
    std::string bytes;
    if (!sys.read_file(path, bytes))
        throw message_error{L"Invalid configuration file, failed to parse XML elements."};
    read_document(sys, bytes, L"Invalid configuration file, failed to parse XML elements.", settings);
}

void read_configuration_resource(platform::platform& sys, configuration_settings& settings)
{
    std::string bytes;
    switch (sys.configuration_resource(bytes)) {
    case platform::resource_status::not_found:
        throw message_error{L"Resource RES_CONFIGURATION not found."};
    case platform::resource_status::load_failed:
        throw message_error{L"Failed to load resource RES_CONFIGURATION."};
    case platform::resource_status::lock_failed:
        throw message_error{L"Failed to lock resource RES_CONFIGURATION."};
    case platform::resource_status::ok:
        break;
    }
    read_document(sys, bytes, L"Resource RES_CONFIGURATION is not a valid xml.", settings);
}

bool load_setup_configuration(platform::platform& sys, configuration_settings& settings)
{
    const wchar_t* failure = nullptr;
    std::wstring message;
    try {
        const std::wstring path = combine_path(get_application_directory(sys), L"setup.xml");
        // This one test decides the source: a faulty file never falls back
        // to the stored copy.
        if (!sys.path_exists(path))
            read_configuration_resource(sys, settings);
        else
            read_configuration_file(sys, path, settings);
        return true;
    } catch (const message_error& e) {
        message = e.message;
    } catch (...) {
        failure = L"Error loading configuration file";
    }
    sys.message_box(0, failure != nullptr ? std::wstring(failure) : message, nullptr, platform::mb_iconerror);
    return false;
}

}  // namespace config
