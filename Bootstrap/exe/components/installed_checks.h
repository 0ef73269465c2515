// The checks that tell whether a component is already on the machine. Each
// question is answered afresh from the file system or the registry.
#pragma once

#include <string>

#include "platform/platform.h"
#include "base/event_log.h"

namespace components {

class installedcheck {
public:
    virtual ~installedcheck() = default;
    virtual bool is_installed() = 0;
    // A registry check that reads the native 64-bit view of the registry.
    virtual bool reads_native_view() const { return false; }
};

// Both kinds write each answer to the run's log, when there is one, with
// what they found.
class installedcheck_check_file : public installedcheck {
public:
    installedcheck_check_file(platform::files& files, platform::user_interface& ui, base::event_log* log = nullptr)
        : files_(files), ui_(ui), log_(log)
    {
    }
    bool is_installed() override;

    std::wstring filename;  // markers already replaced
    std::wstring fileversion;
    std::wstring comparison;

private:
    bool evaluate(std::wstring& found);

    platform::files& files_;
    platform::user_interface& ui_;
    base::event_log* log_;
};

class installedcheck_check_registry_value : public installedcheck {
public:
    installedcheck_check_registry_value(platform::registry& registry, platform::user_interface& ui,
                                        base::event_log* log = nullptr)
        : registry_(registry), ui_(ui), log_(log)
    {
    }
    bool is_installed() override;
    bool reads_native_view() const override;

    std::wstring path;  // under HKEY_LOCAL_MACHINE, as written
    std::wstring fieldname;
    std::wstring fieldvalue;
    std::wstring fieldtype;
    std::wstring comparison;
    // "64" reads the native 64-bit view; anything else, the view that a
    // 32-bit program is redirected to.
    std::wstring view;

private:
    platform::reg_view registry_view() const;
    bool evaluate(std::wstring& found);
    bool check_dword(std::wstring& found);
    bool check_string(std::wstring& found);

    platform::registry& registry_;
    platform::user_interface& ui_;
    base::event_log* log_;
};

}  // namespace components
