#include "generated_config.h"

#include "config/sources.h"
#include "base/text.h"

namespace bench {

bool quiet_platform::path_exists(const std::wstring& path) { return files.count(text::ascii_lower(path)) > 0; }

bool quiet_platform::key_opens(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access,
                               ::platform::reg_view)
{
    return registry.count(key_of(root, subkey)) > 0;
}

bool quiet_platform::read_value(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access,
                                ::platform::reg_view, const std::wstring& name, std::vector<std::uint8_t>& data)
{
    const auto key = registry.find(key_of(root, subkey));
    if (key == registry.end()) return false;
    const auto value = key->second.find(text::ascii_lower(name));
    if (value == key->second.end()) return false;
    data = value->second;
    return true;
}

namespace {

std::string number(std::size_t n) { return std::to_string(n); }

}  // namespace

std::string make_configuration(std::size_t count)
{
    std::string doc =
        "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<configurations>\n"
        "  <configuration lcid=\"\" type=\"install\" dialog_caption=\"Bench Setup\" dialog_message=\"Setup will "
        "install the components.\" install_caption=\"Continue\" cancel_caption=\"Cancel\" status_installed=\" "
        "[Already installed]\" failed_exec_command_continue=\"Setup is unable to install %s. Continue?\" "
        "installation_completed=\"Installation successful.\" reboot_required=\"Restart now?\" "
        "dialog_admin_required=\"\" complete_command=\"\" install_silent=\"False\">\n    <components>\n";
    for (std::size_t i = 0; i < count; ++i) {
        const std::string n = number(i);
        doc += "      <component type=\"cmd\" description=\"Bench component " + n +
               "\" command=\"#APPPATH\\components\\c" + n +
               "\\setup.exe\" required=\"False\" mustreboot=\"False\" os_filter_greater=\"\" "
               "os_filter_smaller=\"\" os_filter_lcid=\"\" required_message=\"\" admin_required=\"\" "
               "installcompletemessage=\"\">\n"
               "        <installedcheck type=\"check_file\" filename=\"#SYSTEMPATH\\bench\\c" + n +
               ".dll\" fileversion=\"1.0.0.0\" comparison=\"version\"/>\n"
               "        <installedcheck type=\"check_registry_value\" path=\"SOFTWARE\\Bench\\c" + n +
               "\" fieldname=\"Version\" fieldtype=\"REG_SZ\" fieldvalue=\"1.0.0.0\" comparison=\"version\"/>\n"
               "      </component>\n";
    }
    doc += "    </components>\n  </configuration>\n</configurations>\n";
    return doc;
}

void prepare_platform(quiet_platform& sys, std::size_t count)
{
    sys.add_file(L"C:\\medium\\setup.xml", make_configuration(count));
    for (std::size_t i = 0; i < count; ++i) {
        const std::wstring n = std::to_wstring(i);
        sys.add_versioned_file(sys.system_dir + L"\\bench\\c" + n + L".dll", 1, 0, 0, 0);
        sys.set_reg_string(::platform::reg_root::local_machine, L"SOFTWARE\\Bench\\c" + n, L"Version", L"1.0.0.0");
    }
}

std::size_t load_once(quiet_platform& sys)
{
    config::configuration_settings settings;
    if (!config::load_setup_configuration(sys, settings)) return 0;
    const std::size_t n = settings.components.size();
    config::release_components(settings);
    return n;
}

}  // namespace bench
