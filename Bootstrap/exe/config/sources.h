// Where the configuration comes from: "setup.xml" beside the program, else
// the copy stored in the program's resources.
#pragma once

#include <string>

#include "base/failure.h"
#include "config/reader.h"
#include "config/settings.h"

class TiXmlElement;

namespace config {

// Which documents the loader considers.
enum class sources {
    file_or_stored,  // "setup.xml" beside the program when it exists, else the stored copy
    stored_only,     // the stored copy alone: a file beside the program is never read
};

// Fills `settings`; false after the cause has been shown to the user. The
// observer, if any, is told what the reader decides.
bool load_setup_configuration(reading_system sys, configuration_settings& settings,
                              reading_observer* observer = nullptr, sources from = sources::file_or_stored);

// The run log's words for the source told to reading_observer::source_chosen.
std::wstring source_description(const std::wstring& path, const std::wstring& ignored);

base::status read_configuration_file(reading_system sys, const std::wstring& path, configuration_settings& settings,
                                     reading_observer* observer = nullptr);
base::status read_configuration_resource(reading_system sys, configuration_settings& settings,
                                         reading_observer* observer = nullptr);
base::status select_configuration_node(const attribute_reader& reader, const TiXmlElement* root,
                                       configuration_settings& settings, read_elements elements = read_elements::keep);

}  // namespace config
