#include "engine/reboot.h"

#include <vector>

#include "platform/admin.h"

namespace engine {

bool reboot_machine(platform::privileges& token, std::uint32_t& error) { return token.reboot_windows(error); }

std::wstring pending_restart_mark(platform::registry& registry)
{
    using platform::reg_access;
    using platform::reg_root;
    std::vector<std::uint8_t> renames;
    if (registry.read_value(reg_root::local_machine, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                            reg_access::query_value, L"PendingFileRenameOperations", renames)) {
        // An emptied list (its terminators alone) lingers on some systems.
        for (std::uint8_t b : renames)
            if (b != 0) return L"files wait to be replaced (PendingFileRenameOperations)";
    }
    const wchar_t windows_update[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\WindowsUpdate\\Auto Update\\RebootRequired";
    if (registry.key_opens(reg_root::local_machine, windows_update, reg_access::query_value_native))
        return L"Windows Update (RebootRequired)";
    const wchar_t servicing[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Component Based Servicing\\RebootPending";
    if (registry.key_opens(reg_root::local_machine, servicing, reg_access::query_value_native))
        return L"component servicing (RebootPending)";
    return std::wstring();
}

bool is_run_value_present(platform::platform& sys)
{
    const platform::reg_root root = platform::is_current_user_admin(sys, sys) ? platform::reg_root::local_machine
                                                                              : platform::reg_root::current_user;
    std::vector<std::uint8_t> data;
    return sys.read_value(root, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", platform::reg_access::query_value,
                          L"Yolvane Setup", data);
}

}  // namespace engine
