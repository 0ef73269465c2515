#include "platform/win32_platform.h"

#include "platform/win32_api.h"

namespace platform {

namespace {

HKEY root_key(reg_root root) { return root == reg_root::local_machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

// Whether this 32-bit process runs on 64-bit Windows, where the registry has
// two views. IsWow64Process is looked up: Windows XP before SP2 lacks it.
bool under_wow64()
{
    return win32::built_once<bool>([] {
        using query_fn = BOOL(WINAPI*)(HANDLE, PBOOL);
        const query_fn query = win32::entry<query_fn>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
        BOOL wow64 = FALSE;
        return query != nullptr && query(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
    });
}

// 32-bit Windows from XP SP2 and Server 2003 on ignores KEY_WOW64_64KEY, but
// a release without WOW64 may refuse it: the flag is given only where there
// are two views, and elsewhere the one view is read.
REGSAM access_of(reg_access access, reg_view view)
{
    const REGSAM rights = access == reg_access::read ? KEY_READ : KEY_QUERY_VALUE;
    return view == reg_view::native && under_wow64() ? rights | KEY_WOW64_64KEY : rights;
}

}  // namespace

bool win32_platform::key_opens(reg_root root, const std::wstring& subkey, reg_access access, reg_view view)
{
    win32::registry_key key;
    return RegOpenKeyExW(root_key(root), subkey.c_str(), 0, access_of(access, view), key.put()) == ERROR_SUCCESS;
}

bool win32_platform::read_value(reg_root root, const std::wstring& subkey, reg_access access, reg_view view,
                                const std::wstring& name, std::vector<std::uint8_t>& data)
{
    win32::registry_key key;
    if (RegOpenKeyExW(root_key(root), subkey.c_str(), 0, access_of(access, view), key.put()) != ERROR_SUCCESS)
        return false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
        data.assign(size, 0);
        const LONG r = RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, size ? data.data() : nullptr, &size);
        if (r == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (r != ERROR_MORE_DATA) return false;  // the value grew meanwhile: ask again
    }
    return false;
}

}  // namespace platform
