/* The planted urlmon.dll: logs its loading and every call (see
 * planted_common.h); a download is passed on to the system folder's copy
 * when the loader gives that one out, else it fails. */
#define PLANTED_NAME L"urlmon.dll"
#include "planted_common.h"

PLANTED_DLLMAIN

#define DOWNLOAD_FAILED ((HRESULT)0x800C0008L) /* INET_E_DOWNLOAD_FAILURE */

HRESULT WINAPI planted_URLDownloadToFileW(void* caller, LPCWSTR url, LPCWSTR file, DWORD reserved,
                                          LPVOID callback)
{
    typedef HRESULT(WINAPI * fn)(void*, LPCWSTR, LPCWSTR, DWORD, LPVOID);
    fn real = (fn)planted_forward("URLDownloadToFileW");
    planted_call("URLDownloadToFileW", __builtin_return_address(0), real != NULL);
    if (real) return real(caller, url, file, reserved, callback);
    return DOWNLOAD_FAILED;
}

HRESULT WINAPI planted_URLDownloadToFileA(void* caller, LPCSTR url, LPCSTR file, DWORD reserved,
                                          LPVOID callback)
{
    typedef HRESULT(WINAPI * fn)(void*, LPCSTR, LPCSTR, DWORD, LPVOID);
    fn real = (fn)planted_forward("URLDownloadToFileA");
    planted_call("URLDownloadToFileA", __builtin_return_address(0), real != NULL);
    if (real) return real(caller, url, file, reserved, callback);
    return DOWNLOAD_FAILED;
}
