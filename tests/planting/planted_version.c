/* The planted version.dll: logs its loading and every call (see
 * planted_common.h) and passes the calls on to the system folder's copy
 * when the loader gives that one out, else fails them as a file without
 * version information would. Wine's user32 imports the first three. */
#define PLANTED_NAME L"version.dll"
#include "planted_common.h"

PLANTED_DLLMAIN

#define NO_VERSION() SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND)

DWORD WINAPI planted_GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD handle)
{
    typedef DWORD(WINAPI * fn)(LPCWSTR, LPDWORD);
    fn real = (fn)planted_forward("GetFileVersionInfoSizeW");
    planted_call("GetFileVersionInfoSizeW", __builtin_return_address(0), real != NULL);
    if (real) return real(file, handle);
    NO_VERSION();
    return 0;
}

BOOL WINAPI planted_GetFileVersionInfoW(LPCWSTR file, DWORD handle, DWORD size, LPVOID data)
{
    typedef BOOL(WINAPI * fn)(LPCWSTR, DWORD, DWORD, LPVOID);
    fn real = (fn)planted_forward("GetFileVersionInfoW");
    planted_call("GetFileVersionInfoW", __builtin_return_address(0), real != NULL);
    if (real) return real(file, handle, size, data);
    NO_VERSION();
    return FALSE;
}

BOOL WINAPI planted_VerQueryValueW(LPCVOID block, LPCWSTR sub_block, LPVOID* buffer, PUINT length)
{
    typedef BOOL(WINAPI * fn)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    fn real = (fn)planted_forward("VerQueryValueW");
    planted_call("VerQueryValueW", __builtin_return_address(0), real != NULL);
    if (real) return real(block, sub_block, buffer, length);
    NO_VERSION();
    return FALSE;
}

DWORD WINAPI planted_GetFileVersionInfoSizeA(LPCSTR file, LPDWORD handle)
{
    typedef DWORD(WINAPI * fn)(LPCSTR, LPDWORD);
    fn real = (fn)planted_forward("GetFileVersionInfoSizeA");
    planted_call("GetFileVersionInfoSizeA", __builtin_return_address(0), real != NULL);
    if (real) return real(file, handle);
    NO_VERSION();
    return 0;
}

BOOL WINAPI planted_GetFileVersionInfoA(LPCSTR file, DWORD handle, DWORD size, LPVOID data)
{
    typedef BOOL(WINAPI * fn)(LPCSTR, DWORD, DWORD, LPVOID);
    fn real = (fn)planted_forward("GetFileVersionInfoA");
    planted_call("GetFileVersionInfoA", __builtin_return_address(0), real != NULL);
    if (real) return real(file, handle, size, data);
    NO_VERSION();
    return FALSE;
}

BOOL WINAPI planted_VerQueryValueA(LPCVOID block, LPCSTR sub_block, LPVOID* buffer, PUINT length)
{
    typedef BOOL(WINAPI * fn)(LPCVOID, LPCSTR, LPVOID*, PUINT);
    fn real = (fn)planted_forward("VerQueryValueA");
    planted_call("VerQueryValueA", __builtin_return_address(0), real != NULL);
    if (real) return real(block, sub_block, buffer, length);
    NO_VERSION();
    return FALSE;
}

DWORD WINAPI planted_GetFileVersionInfoSizeExW(DWORD flags, LPCWSTR file, LPDWORD handle)
{
    typedef DWORD(WINAPI * fn)(DWORD, LPCWSTR, LPDWORD);
    fn real = (fn)planted_forward("GetFileVersionInfoSizeExW");
    planted_call("GetFileVersionInfoSizeExW", __builtin_return_address(0), real != NULL);
    if (real) return real(flags, file, handle);
    NO_VERSION();
    return 0;
}

BOOL WINAPI planted_GetFileVersionInfoExW(DWORD flags, LPCWSTR file, DWORD handle, DWORD size, LPVOID data)
{
    typedef BOOL(WINAPI * fn)(DWORD, LPCWSTR, DWORD, DWORD, LPVOID);
    fn real = (fn)planted_forward("GetFileVersionInfoExW");
    planted_call("GetFileVersionInfoExW", __builtin_return_address(0), real != NULL);
    if (real) return real(flags, file, handle, size, data);
    NO_VERSION();
    return FALSE;
}
