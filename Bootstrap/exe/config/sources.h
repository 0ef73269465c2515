// Where the configuration comes from: "setup.xml" beside the program, else
// the copy stored in the program's resources.
#pragma once

#include <string>

#include "config/reader.h"
#include "config/settings.h"
#include "platform/platform.h"

class TiXmlElement;

namespace config {

// Fills `settings`; false after the cause has been shown to the user.
bool load_setup_configuration(platform::platform& sys, configuration_settings& settings);

void read_configuration_file(platform::platform& sys, const std::wstring& path, configuration_settings& settings);
void read_configuration_resource(platform::platform& sys, configuration_settings& settings);
void select_configuration_node(const attribute_reader& reader, const TiXmlElement* root,
                               configuration_settings& settings, read_elements elements = read_elements::keep);

// Decides how a document's attribute bytes are decoded: UTF-8 when it says
// so (byte-order mark or declaration), the ANSI code page when it declares
// any other encoding, and otherwise UTF-8 when its bytes are valid UTF-8.
text_encoding detect_encoding(const std::string& document);

// Limits checked before the parser sees a document: far beyond any real
// configuration, they keep a hostile one from exhausting memory or, through
// the parser's recursion, the stack.
constexpr std::size_t max_document_bytes = 64u * 1024u * 1024u;
constexpr int max_element_depth = 256;

// True when the document is within both limits.
bool within_document_limits(const std::string& document);

}  // namespace config
