/* The planted comctl32.dll: logs its loading and every call (see
 * planted_common.h); calls are passed on to the system folder's copy when
 * the loader gives that one out, else they fail. */
#define PLANTED_NAME L"comctl32.dll"
#include "planted_common.h"

PLANTED_DLLMAIN

BOOL WINAPI planted_InitCommonControlsEx(const void* controls)
{
    typedef BOOL(WINAPI * fn)(const void*);
    fn real = (fn)planted_forward("InitCommonControlsEx");
    planted_call("InitCommonControlsEx", __builtin_return_address(0), real != NULL);
    if (real) return real(controls);
    return FALSE;
}

void WINAPI planted_InitCommonControls(void)
{
    typedef void(WINAPI * fn)(void);
    fn real = (fn)planted_forward("InitCommonControls");
    planted_call("InitCommonControls", __builtin_return_address(0), real != NULL);
    if (real) real();
}

HRESULT WINAPI planted_DllGetVersion(void* info)
{
    typedef HRESULT(WINAPI * fn)(void*);
    fn real = (fn)planted_forward("DllGetVersion");
    planted_call("DllGetVersion", __builtin_return_address(0), real != NULL);
    if (real) return real(info);
    return E_NOTIMPL;
}
