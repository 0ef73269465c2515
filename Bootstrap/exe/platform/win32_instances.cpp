#include "platform/win32_platform.h"

#include <windows.h>

namespace platform {

lock_status win32_platform::take_run_lock(const std::wstring& name)
{
    // The handle is left open on purpose: the lock lasts as long as the
    // process, and the system closes it when the process ends.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) return lock_status::taken;
    if (mutex != nullptr) CloseHandle(mutex);
    // A lock made by another user (an administrator's deployment, say) may
    // not even be opened: it is held all the same.
    if (mutex != nullptr || error == ERROR_ACCESS_DENIED) return lock_status::held_elsewhere;
    return lock_status::failed;
}

void win32_platform::mark_window(window_handle window, const std::wstring& name)
{
    SetPropW(reinterpret_cast<HWND>(window), name.c_str(), reinterpret_cast<HANDLE>(1));
}

namespace {

struct marked_search {
    const wchar_t* name;
    HWND found;
};

BOOL CALLBACK find_marked(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<marked_search*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() || GetPropW(window, search->name) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool win32_platform::bring_marked_window_forward(const std::wstring& name)
{
    marked_search search{name.c_str(), nullptr};
    EnumWindows(&find_marked, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return false;
    if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
    // A download window over the dialog is the one that takes the input.
    SetForegroundWindow(GetLastActivePopup(search.found));
    return true;
}

}  // namespace platform
