// Configurations of any number of components for the native measurements,
// and a fake platform on which every installed check of them succeeds.
#pragma once

#include <cstddef>
#include <string>

#include "fake_platform.h"

namespace bench {

// The fake platform without its call log. The log keeps a line for every
// file and registry question, which would weigh on the measured time and
// memory although Setup.exe has no such log.
class quiet_platform : public platform::fake_platform {
public:
    bool path_exists(const std::wstring& path) override;
    bool key_opens(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access access,
                   ::platform::reg_view view) override;
    bool read_value(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access access,
                    ::platform::reg_view view, const std::wstring& name, std::vector<std::uint8_t>& data) override;
};

// A UTF-8 document with one `install` configuration of `count` cmd
// components, each with two installed checks: a check_file on a versioned
// file under #SYSTEMPATH and a check_registry_value on a REG_SZ version.
std::string make_configuration(std::size_t count);

// Puts the document beside the fake Setup.exe as setup.xml, with the files
// and registry values that make both checks of every component succeed (so
// that both are evaluated).
void prepare_platform(quiet_platform& sys, std::size_t count);

// Loads the configuration the way Setup.exe does and releases it; returns
// the number of components read.
std::size_t load_once(quiet_platform& sys);

}  // namespace bench
