/* The whole code of the small DLLs that carry (or lack) a version resource
   for the installed-check cases: an entry point that accepts every call. */
#include <windows.h>

BOOL WINAPI DllMainCRTStartup(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)instance;
    (void)reason;
    (void)reserved;
    return TRUE;
}
