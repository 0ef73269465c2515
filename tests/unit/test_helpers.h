// Shared helpers of the native tests.
#pragma once

#include <string>

#include "config/settings.h"
#include "config/sources.h"
#include "platform/fake_platform.h"

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

}  // namespace testing_support
