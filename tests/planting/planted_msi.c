/* The planted msi.dll: logs its loading and every call (see
 * planted_common.h); calls are passed on to the system folder's copy when
 * the loader gives that one out, else they fail. */
#define PLANTED_NAME L"msi.dll"
#include "planted_common.h"

PLANTED_DLLMAIN

#define INSTALLSTATE_UNKNOWN_ (-1)

INT WINAPI planted_MsiQueryProductStateW(LPCWSTR product)
{
    typedef INT(WINAPI * fn)(LPCWSTR);
    fn real = (fn)planted_forward("MsiQueryProductStateW");
    planted_call("MsiQueryProductStateW", __builtin_return_address(0), real != NULL);
    if (real) return real(product);
    return INSTALLSTATE_UNKNOWN_;
}

UINT WINAPI planted_MsiInstallProductW(LPCWSTR package, LPCWSTR command_line)
{
    typedef UINT(WINAPI * fn)(LPCWSTR, LPCWSTR);
    fn real = (fn)planted_forward("MsiInstallProductW");
    planted_call("MsiInstallProductW", __builtin_return_address(0), real != NULL);
    if (real) return real(package, command_line);
    return ERROR_INSTALL_FAILURE;
}

UINT WINAPI planted_MsiGetProductInfoW(LPCWSTR product, LPCWSTR property, LPWSTR value, LPDWORD size)
{
    typedef UINT(WINAPI * fn)(LPCWSTR, LPCWSTR, LPWSTR, LPDWORD);
    fn real = (fn)planted_forward("MsiGetProductInfoW");
    planted_call("MsiGetProductInfoW", __builtin_return_address(0), real != NULL);
    if (real) return real(product, property, value, size);
    return ERROR_UNKNOWN_PRODUCT;
}
