// Bytes in, settings or a reported error out: the whole configuration
// loader on the fake system, as Setup.exe would meet a hostile setup.xml.
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/sources.h"
#include "engine/checklist.h"
#include "fake_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    platform::fake_platform sys;
    sys.set_language(1033);
    sys.add_versioned_file(L"C:\\Windows\\system32\\msi.dll", 4, 5, 6001, 22308);
    sys.set_reg_dword(platform::reg_root::local_machine, L"SOFTWARE\\Test", L"dword", 5);
    sys.set_reg_string(platform::reg_root::local_machine, L"SOFTWARE\\Test", L"string", L"1.2.3");
    sys.add_file(L"C:\\medium\\setup.xml", std::string(reinterpret_cast<const char*>(data), size));

    config::configuration_settings settings;
    if (config::load_setup_configuration(sys, settings)) {
        // What the dialog does next with what was read.
        engine::fill_checklist(settings);
    }
    config::release_components(settings);
    return 0;
}
