#include "platform/win32_pump.h"

namespace win32 {

namespace {

// A dialog's keys (Esc, Enter, Tab) go to the dialog they are meant for, the
// top-level window of the control that has them, as its own loop would give
// them; everything else is translated and dispatched.
void serve(MSG& msg)
{
    HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    if (root != nullptr && IsDialogMessageW(root, &msg)) return;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
}

}  // namespace

pumped pump_once(HANDLE handle, DWORD timeout_ms)
{
    const DWORD count = handle != nullptr ? 1 : 0;
    // Input already seen but not taken wakes the wait too, as it would wake
    // GetMessage.
    const DWORD r = MsgWaitForMultipleObjectsEx(count, count != 0 ? &handle : nullptr, timeout_ms, QS_ALLINPUT,
                                                MWMO_INPUTAVAILABLE);
    if (r == WAIT_TIMEOUT) return pumped::timeout;
    if (r == WAIT_OBJECT_0 && count != 0) return pumped::signalled;
    if (r != WAIT_OBJECT_0 + count) return pumped::failed;
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return pumped::quit;
        }
        serve(msg);
    }
    return pumped::served;
}

platform::wait_result wait_for(HANDLE handle, DWORD timeout_ms)
{
    switch (WaitForSingleObject(handle, timeout_ms)) {
    case WAIT_OBJECT_0:
        return platform::wait_result::ended;
    case WAIT_TIMEOUT:
        return platform::wait_result::timeout;
    default:
        return platform::wait_result::failed;
    }
}

platform::wait_result wait_pumping(HANDLE handle, DWORD timeout_ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeout_ms != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= timeout_ms) return platform::wait_result::timeout;
            remaining = timeout_ms - spent;
        }
        switch (pump_once(handle, remaining)) {
        case pumped::served:
            break;
        case pumped::signalled:
            return platform::wait_result::ended;
        case pumped::timeout:
            return platform::wait_result::timeout;
        case pumped::quit:
            if (handle != nullptr) return wait_for(handle, remaining);
            Sleep(remaining);
            return platform::wait_result::timeout;
        default:
            return platform::wait_result::failed;
        }
    }
}

}  // namespace win32
