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
                               configuration_settings& settings);

// Decides how a document's attribute bytes are decoded: UTF-8 when it says
// so (byte-order mark or declaration), the ANSI code page when it declares
// any other encoding, and otherwise UTF-8 when its bytes are valid UTF-8.
text_encoding detect_encoding(const std::string& document);

}  // namespace config
