// bench_floor.exe: the floor that Setup.exe is measured against under Wine.
//
//     bench_floor.exe [--pump] PROGRAM...
//
// Starts each program in turn exactly as Setup.exe starts a cmd component:
// ShellExecuteExW with SEE_MASK_NOCLOSEPROCESS and SW_SHOWNORMAL, a wait on
// the process handle (with --pump: MsgWaitForMultipleObjects serving the
// thread's messages, as the interactive run does), the exit code, and the
// handle closed. It reads no configuration and shows no window. It imports
// the same system DLLs as Setup.exe and carries the same manifest, so the
// loader maps and initialises the same modules (common controls version 6
// included): what Setup.exe spends beyond this program is its own.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

namespace {

void wait_for(HANDLE process, bool pump)
{
    if (!pump) {
        WaitForSingleObject(process, INFINITE);
        return;
    }
    for (;;) {
        const DWORD r = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (r != WAIT_OBJECT_0 + 1) return;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

// Never called at run time; it keeps an import of each DLL that Setup.exe
// imports and this program would not otherwise need.
void keep_imports()
{
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);      // comctl32
    CoInitializeEx(nullptr, 0);           // ole32
    GetStockObject(NULL_BRUSH);           // gdi32
    RegCloseKey(HKEY_CURRENT_USER);       // advapi32
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (argv == nullptr) return 2;
    if (argc < 0) keep_imports();
    int first = 1;
    bool pump = false;
    if (argc > 1 && lstrcmpW(argv[1], L"--pump") == 0) {
        pump = true;
        first = 2;
    }
    int result = 0;
    for (int i = first; i < argc; ++i) {
        SHELLEXECUTEINFOW info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_NOCLOSEPROCESS;
        info.lpFile = argv[i];
        info.nShow = SW_SHOWNORMAL;
        if (!ShellExecuteExW(&info) || info.hProcess == nullptr) {
            result = 1;
            break;
        }
        wait_for(info.hProcess, pump);
        DWORD code = 0;
        GetExitCodeProcess(info.hProcess, &code);
        CloseHandle(info.hProcess);
    }
    LocalFree(argv);
    return result;
}
