// Restarting Windows for a component, and the resume entry in the Run key.
#pragma once

#include "platform/platform.h"

namespace engine {

// Asks Windows to restart (not forced) and returns at once. False when
// Windows refused, with its error code in `error`.
bool reboot_machine(platform::privileges& token, std::uint32_t& error);

// The mark that Windows leaves while a restart is pending, when one is set:
// files waiting to be replaced (PendingFileRenameOperations), Windows
// Update's RebootRequired key or the component servicing's RebootPending
// key. Empty when none is.
std::wstring pending_restart_mark(platform::registry& registry);

// True when the value "Yolvane Setup" exists under the Run key: under
// HKEY_LOCAL_MACHINE for an administrator, HKEY_CURRENT_USER otherwise.
// Its type and contents do not matter.
bool is_run_value_present(platform::platform& sys);

}  // namespace engine
