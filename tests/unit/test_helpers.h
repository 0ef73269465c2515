// Shared helpers of the native tests.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "config/reader.h"
#include "config/settings.h"
#include "config/sources.h"
#include "base/text.h"
#include "fake_platform.h"
#include "tinyxml.h"

namespace testing_support {

// A fake system with the program at C:\medium\Setup.exe, an English (1033)
// Windows 7 SP1, and `xml` as the medium's setup.xml.
inline platform::fake_platform& with_setup_xml(platform::fake_platform& sys, const std::string& xml)
{
    sys.set_language(1033);
    sys.add_file(L"C:\\medium\\setup.xml", xml);
    return sys;
}

// Wraps component elements into a whole configuration document.
inline std::string document(const std::string& components, const std::string& attributes = "")
{
    return "<?xml version=\"1.0\"?><configurations><configuration type=\"install\" " + attributes +
           "><components>" + components + "</components></configuration></configurations>";
}

// Parses `xml` (UTF-8) and reads its first `configuration` element with the
// reader, as the loader would once it has chosen that element. What it
// appended before a failure stays in `settings`.
inline base::status read_status(platform::fake_platform& sys, const std::string& xml,
                                config::configuration_settings& settings)
{
    TiXmlDocument doc;
    doc.Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
    const TiXmlElement* node = doc.Error() ? nullptr : doc.RootElement()->FirstChildElement("configuration");
    if (node == nullptr) {
        ADD_FAILURE() << "not a configuration document: " << doc.ErrorDesc();
        return base::failure::message(L"not a configuration document");
    }
    return config::read_configuration_node(
        config::attribute_reader(config::reading_system(sys), config::text_encoding::utf8), *node, settings);
}

// The same, for a document that must be read without a failure.
inline void read_configuration(platform::fake_platform& sys, const std::string& xml,
                               config::configuration_settings& settings)
{
    const base::status read = read_status(sys, xml, settings);
    EXPECT_TRUE(read) << "the reading failed: " << testing::PrintToString(read.error().text());
}

// Whether a loading failure is told as "Error loading configuration file".
inline bool is_loading_failure(const base::status& s)
{
    return !s && s.error().what() == base::failure::kind::loading;
}

// A program the shell can start; the fake looks programs up by lower-cased path.
inline void add_program(platform::fake_platform& sys, const std::wstring& path,
                        const platform::fake_platform::program& behaviour = {})
{
    sys.programs[text::ascii_lower(path)] = behaviour;
}

// The stored default configuration, as the program's resources hold it.
inline std::string default_configuration_bytes()
{
    std::ifstream in(DEFAULT_CONFIGURATION, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

// An error box as the program shows it: no owner, no caption, error icon.
inline ::testing::AssertionResult is_error_box(const platform::fake_platform::message& m)
{
    if (m.owner != 0) return ::testing::AssertionFailure() << "the box has an owner";
    if (m.caption) return ::testing::AssertionFailure() << "the box has a caption";
    if (m.icon != platform::box_icon::error || m.buttons != platform::box_buttons::ok)
        return ::testing::AssertionFailure() << "not an error icon with an OK button";
    return ::testing::AssertionSuccess();
}

template <typename T>
T* as(const std::shared_ptr<components::component>& c)
{
    return dynamic_cast<T*>(c.get());
}

}  // namespace testing_support
