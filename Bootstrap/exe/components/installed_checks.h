// The checks that tell whether a component is already on the machine. Each
// question is answered afresh from the file system or the registry.
#pragma once

#include <string>

#include "platform/platform.h"

namespace components {

class installedcheck {
public:
    explicit installedcheck(platform::platform& sys) : sys_(sys) {}
    virtual ~installedcheck() = default;
    // Never raises: a failure inside the check answers false.
    virtual bool is_installed() = 0;

protected:
    platform::platform& sys_;
};

class installedcheck_check_file : public installedcheck {
public:
    using installedcheck::installedcheck;
    bool is_installed() override;

    std::wstring filename;  // markers already replaced
    std::wstring fileversion;
    std::wstring comparison;

private:
    bool evaluate();
};

class installedcheck_check_registry_value : public installedcheck {
public:
    using installedcheck::installedcheck;
    bool is_installed() override;

    std::wstring path;  // under HKEY_LOCAL_MACHINE, as written
    std::wstring fieldname;
    std::wstring fieldvalue;
    std::wstring fieldtype;
    std::wstring comparison;

private:
    bool evaluate();
    bool check_dword();
    bool check_string();
};

}  // namespace components
