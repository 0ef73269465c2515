// The one message pump of the program's waits: while the calling thread
// waits, its windows stay served, dialog keys included.
#pragma once

#include <windows.h>

#include "platform/platform.h"

namespace win32 {

// How one round of waiting ended.
enum class pumped { signalled, served, timeout, quit, failed };

// Waits at most timeout_ms for `handle` (none: for messages only) or for a
// message. Messages that arrived are served before it answers served. A quit
// request (WM_QUIT) is posted again, so that the loop that owns it sees it,
// and ends the round as quit: pumping on would only take it again.
pumped pump_once(HANDLE handle, DWORD timeout_ms);

// Waits until `handle` is signalled (none: until the time is up), at most
// timeout_ms (INFINITE: no limit), serving the thread's windows meanwhile.
// After a quit request the rest of the time passes without serving them.
platform::wait_result wait_pumping(HANDLE handle, DWORD timeout_ms);

// Waits for `handle` without serving any window.
platform::wait_result wait_for(HANDLE handle, DWORD timeout_ms);

}  // namespace win32
