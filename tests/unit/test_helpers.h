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
#include "config/text.h"
#include "platform/fake_platform.h"
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
// reader, as the loader would once it has chosen that element. Whatever the
// reader raises passes on; what it appended before stays in `settings`.
inline void read_configuration(platform::fake_platform& sys, const std::string& xml,
                               config::configuration_settings& settings)
{
    TiXmlDocument doc;
    doc.Parse(xml.c_str(), nullptr, TIXML_ENCODING_UTF8);
    ASSERT_FALSE(doc.Error()) << doc.ErrorDesc();
    const TiXmlElement* node = doc.RootElement()->FirstChildElement("configuration");
    ASSERT_NE(node, nullptr);
    config::read_configuration_node(config::attribute_reader(sys, config::text_encoding::utf8), *node, settings);
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
    if (m.style != platform::mb_iconerror) return ::testing::AssertionFailure() << "style " << m.style;
    return ::testing::AssertionSuccess();
}

template <typename T>
T* as(const std::shared_ptr<components::component>& c)
{
    return dynamic_cast<T*>(c.get());
}

}  // namespace testing_support
