/* Proof programs of the DLL-planting test: each imports one of the planted
 * names statically, so that a planted copy beside it must be loaded, which
 * shows that the planted DLLs and the marker log work under this Wine.
 * Built once per name (PROBE_VERSION, PROBE_URLMON, PROBE_MSI,
 * PROBE_COMCTL32). Console programs; they print which module they got. */
#include <windows.h>
#include <commctrl.h>
#include <msi.h>
#include <stdio.h>
#include <urlmon.h>

static void show(const wchar_t* name)
{
    wchar_t path[MAX_PATH + 1] = L"(not loaded)";
    HMODULE m = GetModuleHandleW(name);
    if (m) GetModuleFileNameW(m, path, MAX_PATH);
    wprintf(L"%ls: %ls\n", name, path);
}

int wmain(void)
{
#if defined(PROBE_VERSION)
    wchar_t file[MAX_PATH + 32];
    DWORD ignored = 0;
    GetSystemDirectoryW(file, MAX_PATH);
    lstrcatW(file, L"\\kernel32.dll");
    wprintf(L"GetFileVersionInfoSizeW(kernel32.dll) = %lu\n", GetFileVersionInfoSizeW(file, &ignored));
    show(L"version.dll");
#elif defined(PROBE_URLMON)
    /* Imported, not called: the import alone makes the loader load it. */
    void* volatile imported = (void*)&URLDownloadToFileW;
    (void)imported;
    show(L"urlmon.dll");
#elif defined(PROBE_MSI)
    wprintf(L"MsiQueryProductStateW = %d\n",
            (int)MsiQueryProductStateW(L"{6C5A2C6E-2D26-4B8B-9D8E-0F7C4E1B7A11}"));
    show(L"msi.dll");
#elif defined(PROBE_COMCTL32)
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_LISTVIEW_CLASSES};
    wprintf(L"InitCommonControlsEx = %d\n", (int)InitCommonControlsEx(&controls));
    show(L"comctl32.dll");
#else
#error "define one PROBE_ name"
#endif
    return 0;
}
