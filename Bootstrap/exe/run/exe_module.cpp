#include "run/exe_module.h"

#include <windows.h>

namespace {
// Built during static initialisation, before wWinMain.
CExeModule& module_object = CExeModule::instance();
}  // namespace

CExeModule& CExeModule::instance()
{
    static CExeModule module;
    return module;
}

CExeModule::CExeModule()
{
    // DLLs are taken from the system folder only, never from the program's
    // own folder or the current folder, where a download may have planted
    // one. SetDefaultDllDirectories is newer than the oldest release the
    // program runs on, so it is looked up; without it the current folder at
    // least leaves the search order.
    using set_default_fn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set_default = kernel ? reinterpret_cast<set_default_fn>(
                                    reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                              : nullptr;
    if (set_default == nullptr || !set_default(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */))
        SetDllDirectoryW(L"");
}
