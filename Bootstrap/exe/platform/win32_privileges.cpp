#include "platform/win32_platform.h"

#include "platform/win32_api.h"

namespace platform {

namespace {

win32::sid make_admin_sid()
{
    SID_IDENTIFIER_AUTHORITY nt_authority = {SECURITY_NT_AUTHORITY};
    win32::sid sid;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, sid.put()))
        return win32::sid();
    return sid;
}

// CheckTokenMembership is looked up: Windows NT 4 has none.
struct advapi_api : win32::system_api<advapi_api> {
    static constexpr const wchar_t* dll = L"advapi32.dll";
    bool loaded = false;
    decltype(&CheckTokenMembership) check_membership = nullptr;

    void bind(HMODULE m)
    {
        loaded = m != nullptr;
        find(m, check_membership, "CheckTokenMembership");
    }
};

}  // namespace

bool win32_platform::admin_sid_available() { return static_cast<bool>(make_admin_sid()); }

membership_status win32_platform::check_admin_membership(bool& member)
{
    const advapi_api& advapi = advapi_api::get();
    if (!advapi.loaded) return membership_status::no_library;
    if (!advapi.usable()) return membership_status::no_function;
    const win32::sid admins = make_admin_sid();
    BOOL is_member = FALSE;
    if (!admins || !advapi.check_membership(nullptr, admins.get(), &is_member)) return membership_status::failed;
    member = is_member != FALSE;
    return membership_status::ok;
}

token_status win32_platform::token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                                          std::vector<std::uint8_t>& is_admin_group)
{
    win32::kernel_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.put())) return token_status::no_token;
    std::vector<std::uint8_t> buffer(buffer_size);
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(token.get(), TokenGroups, buffer.data(), buffer_size, &size);
    needed = size;
    if (!ok) return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? token_status::buffer_too_small : token_status::failed;
    const win32::sid admins = make_admin_sid();
    if (!admins) return token_status::failed;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        is_admin_group.push_back(EqualSid(groups->Groups[i].Sid, admins.get()) != FALSE);
    return token_status::ok;
}

token_elevation win32_platform::elevation()
{
    // TokenElevation (20) and its one-word answer, by number: headers for
    // older systems lack them, and those systems refuse the class.
    constexpr int token_elevation_class = 20;
    win32::kernel_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return token_elevation::unknown;
    DWORD elevated = 0;
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), static_cast<TOKEN_INFORMATION_CLASS>(token_elevation_class), &elevated,
                             sizeof elevated, &size) ||
        size != sizeof elevated)
        return token_elevation::unknown;
    return elevated != 0 ? token_elevation::elevated : token_elevation::limited;
}

bool win32_platform::reboot_windows(std::uint32_t& error)
{
    // The privilege is asked for without looking at the answer: the restart
    // itself tells whether it was granted.
    win32::kernel_handle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    if (ExitWindowsEx(EWX_REBOOT, 0)) return true;
    error = GetLastError();
    return false;
}

}  // namespace platform
