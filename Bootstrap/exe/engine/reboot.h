// Restarting Windows for a component, and the resume entry in the Run key.
#pragma once

#include "platform/platform.h"

namespace engine {

// Asks Windows to restart (not forced) and returns at once. False when
// Windows refused, with its error code in `error`.
bool reboot_machine(platform::privileges& token, std::uint32_t& error);

// True when the value "Yolvane Setup" exists under the Run key: under
// HKEY_LOCAL_MACHINE for an administrator, HKEY_CURRENT_USER otherwise.
// Its type and contents do not matter.
bool is_run_value_present(platform::platform& sys);

}  // namespace engine
