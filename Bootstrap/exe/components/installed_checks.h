// The checks that tell whether a component is already on the machine. Each
// question is answered afresh from the file system or the registry.
#pragma once

#include <string>

#include "platform/platform.h"

namespace components {

class installedcheck {
public:
    virtual ~installedcheck() = default;
    virtual bool is_installed() = 0;
};

class installedcheck_check_file : public installedcheck {
public:
    installedcheck_check_file(platform::files& files, platform::user_interface& ui) : files_(files), ui_(ui) {}
    bool is_installed() override;

    std::wstring filename;  // markers already replaced
    std::wstring fileversion;
    std::wstring comparison;

private:
    platform::files& files_;
    platform::user_interface& ui_;
};

class installedcheck_check_registry_value : public installedcheck {
public:
    installedcheck_check_registry_value(platform::registry& registry, platform::user_interface& ui)
        : registry_(registry), ui_(ui)
    {
    }
    bool is_installed() override;

    std::wstring path;  // under HKEY_LOCAL_MACHINE, as written
    std::wstring fieldname;
    std::wstring fieldvalue;
    std::wstring fieldtype;
    std::wstring comparison;

private:
    bool check_dword();
    bool check_string();

    platform::registry& registry_;
    platform::user_interface& ui_;
};

}  // namespace components
