#include "engine/reboot.h"

#include <vector>

#include "platform/admin.h"

namespace engine {

bool reboot_machine(platform::privileges& token, std::uint32_t& error) { return token.reboot_windows(error); }

std::wstring pending_restart_mark(platform::registry& registry)
{
    using platform::reg_access;
    using platform::reg_root;
    using platform::reg_view;
    std::vector<std::uint8_t> renames;
    if (registry.read_value(reg_root::local_machine, L"SYSTEM\\CurrentControlSet\\Control\\Session Manager",
                            reg_access::query_value, reg_view::redirected, L"PendingFileRenameOperations", renames)) {
        // An emptied list (its terminators alone) lingers on some systems.
        for (std::uint8_t b : renames)
            if (b != 0) return L"files wait to be replaced (PendingFileRenameOperations)";
    }
    const std::wstring current = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\";
    if (registry.key_opens(reg_root::local_machine, current + L"WindowsUpdate\\Auto Update\\RebootRequired",
                           reg_access::query_value, reg_view::native))
        return L"Windows Update (RebootRequired)";
    if (registry.key_opens(reg_root::local_machine, current + L"Component Based Servicing\\RebootPending",
                           reg_access::query_value, reg_view::native))
        return L"component servicing (RebootPending)";
    return std::wstring();
}

bool is_run_value_present(platform::platform& sys)
{
    const platform::reg_root root = platform::is_current_user_admin(sys, sys) ? platform::reg_root::local_machine
                                                                              : platform::reg_root::current_user;
    std::vector<std::uint8_t> data;
    return sys.read_value(root, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", platform::reg_access::query_value,
                          platform::reg_view::redirected, L"Yolvane Setup", data);
}

}  // namespace engine
