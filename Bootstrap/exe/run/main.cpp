// The entry point: make DLL loading safe, then hand over to the run driver.
#include <windows.h>
#include <commctrl.h>

#include "dialog/installer_dlg.h"
#include "engine/silent_install.h"
#include "platform/win32_platform.h"
#include "run/driver.h"
#include "run/exe_module.h"

namespace {

// DLLs are taken from the system folder only, never from the program's own
// folder or the current folder, where a download may have planted one.
void restrict_dll_search()
{
    using set_default_fn = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set_default = kernel ? reinterpret_cast<set_default_fn>(
                                    reinterpret_cast<void*>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                              : nullptr;
    if (set_default == nullptr || !set_default(0x00000800 /* LOAD_LIBRARY_SEARCH_SYSTEM32 */))
        SetDllDirectoryW(L"");
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    restrict_dll_search();
    if (CExeModule::instance().initialisation_failed()) return 1;
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);

    platform::win32_platform sys;
    run::run_modes modes;
    modes.interactive = [&sys](config::configuration_settings& settings) {
        CInstallerDlg dialog(sys, settings);
        dialog.run_modal();
    };
    modes.silent = [&sys](config::configuration_settings& settings) { engine::run_silent_install(sys, settings); };
    run::run_setup(sys, modes);
    return 1;
}
