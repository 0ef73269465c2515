// The entry point: the module object has made DLL loading safe before it
// runs; it hands over to the run driver and ends with the status the run
// gives (always 1, unless the configuration asks for a detailed one).
#include <windows.h>
#include <commctrl.h>

#include "dialog/installer_dlg.h"
#include "engine/silent_install.h"
#include "platform/win32_platform.h"
#include "run/driver.h"
#include "run/exe_module.h"
#include "resources/resource.h"

namespace {

// A packed program says in its resources whether it reads only its stored
// configuration.
config::sources configuration_sources()
{
    // Resource handles of the program's own module need no release.
    const HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_STORED_ONLY), MAKEINTRESOURCEW(10));
    if (found == nullptr || SizeofResource(nullptr, found) == 0) return config::sources::file_or_stored;
    const HGLOBAL loaded = LoadResource(nullptr, found);
    const char* bytes = loaded != nullptr ? static_cast<const char*>(LockResource(loaded)) : nullptr;
    return bytes != nullptr && bytes[0] == '1' ? config::sources::stored_only : config::sources::file_or_stored;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, LPWSTR, int)
{
    CExeModule::instance();
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    // Asked for here, before any thread starts: the platform outlives them
    // all, and the first call builds it without a guard.
    platform::win32_platform& sys = platform::win32_platform::process_platform();
    run::run_modes modes;
    modes.interactive = [](engine::run_context& run, config::configuration_settings& settings) {
        CInstallerDlg dialog(run, settings);
        dialog.run_modal();
    };
    modes.silent = [](engine::run_context& run, config::configuration_settings& settings) {
        engine::run_silent_install(run, settings);
    };
    // A single-file download reads only its stored copy: a setup.xml beside
    // it in a Downloads folder may have been put there by anybody.
    return run::run_setup(sys, modes, configuration_sources());
}
