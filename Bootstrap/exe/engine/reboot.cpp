#include "engine/reboot.h"

#include <vector>

#include "platform/admin.h"

namespace engine {

bool reboot_machine(platform::privileges& token, std::uint32_t& error) { return token.reboot_windows(error); }

bool is_run_value_present(platform::platform& sys)
{
    const platform::reg_root root = platform::is_current_user_admin(sys, sys) ? platform::reg_root::local_machine
                                                                              : platform::reg_root::current_user;
    std::vector<std::uint8_t> data;
    return sys.read_value(root, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", platform::reg_access::query_value,
                          L"Yolvane Setup", data);
}

}  // namespace engine
