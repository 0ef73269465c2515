/* probe_load.exe / probe_load_gui.exe: load DLLs the ways a program can,
 * for the DLL-planting test. The GUI build imports user32 as Setup.exe
 * does (under Wine, user32 itself imports version.dll).
 *
 *   probe_load[_gui].exe --out <file> <action>...
 *     restrict          SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32),
 *                       looked up at run time, as Setup.exe starts
 *     name:<dll>        LoadLibraryW(<dll>): the search order
 *     path:<file>       LoadLibraryExW(<file>, LOAD_WITH_ALTERED_SEARCH_PATH)
 *     system:<dll>      LoadLibraryExW(<system folder>\<dll>,
 *                       LOAD_WITH_ALTERED_SEARCH_PATH), as Setup.exe loads
 *                       version.dll and urlmon.dll
 *     plain:<dll>       LoadLibraryW(<system folder>\<dll>): a full path,
 *                       but its dependencies found by the search order
 * After each load of version.dll its GetFileVersionInfoSizeW is called on
 * kernel32.dll through the handle the load returned. One JSON line per
 * action goes to <file>:
 *   {"action":"...","module":"<file of the returned module>","error":N,
 *    "version_size":N}
 */
#include <windows.h>
#include <stdio.h>

static FILE* out;

static void write_json_string(const wchar_t* w)
{
    char utf8[4 * MAX_PATH + 16];
    const char* p;
    WideCharToMultiByte(CP_UTF8, 0, w, -1, utf8, sizeof utf8, NULL, NULL);
    fputc('"', out);
    for (p = utf8; *p; ++p) {
        if (*p == '"' || *p == '\\') fputc('\\', out);
        fputc(*p, out);
    }
    fputc('"', out);
}

static void report(const wchar_t* action, HMODULE m, DWORD error, long version_size)
{
    wchar_t path[MAX_PATH + 1] = L"";
    if (m) GetModuleFileNameW(m, path, MAX_PATH);
    fputs("{\"action\":", out);
    write_json_string(action);
    fputs(",\"module\":", out);
    write_json_string(path);
    fprintf(out, ",\"error\":%lu,\"version_size\":%ld}\n", (unsigned long)error, version_size);
    fflush(out);
}

static long call_version(HMODULE m)
{
    typedef DWORD(WINAPI * size_fn)(LPCWSTR, LPDWORD);
    size_fn size = (size_fn)(void*)GetProcAddress(m, "GetFileVersionInfoSizeW");
    wchar_t file[MAX_PATH + 32];
    DWORD ignored = 0;
    if (!size) return -1;
    GetSystemDirectoryW(file, MAX_PATH);
    lstrcatW(file, L"\\kernel32.dll");
    return (long)size(file, &ignored);
}

static int ends_with_version(const wchar_t* s)
{
    size_t n = wcslen(s);
    return n >= 11 && lstrcmpiW(s + n - 11, L"version.dll") == 0;
}

int wmain(int argc, wchar_t** argv)
{
    int i;
#ifdef PROBE_GUI
    GetSystemMetrics(SM_CXSCREEN); /* keeps the user32 import */
#endif
    if (argc < 3 || wcscmp(argv[1], L"--out") != 0) return 3;
    out = _wfopen(argv[2], L"ab");
    if (!out) return 3;
    for (i = 3; i < argc; ++i) {
        const wchar_t* a = argv[i];
        HMODULE m = NULL;
        DWORD error = 0;
        long version_size = -2;
        if (wcscmp(a, L"restrict") == 0) {
            typedef BOOL(WINAPI * set_fn)(DWORD);
            set_fn set = (set_fn)(void*)GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
            BOOL ok = set && set(0x00000800);
            if (!ok) SetDllDirectoryW(L"");
            report(a, NULL, ok ? 0 : GetLastError(), -2);
            continue;
        }
        if (wcsncmp(a, L"name:", 5) == 0) {
            m = LoadLibraryW(a + 5);
        } else if (wcsncmp(a, L"path:", 5) == 0) {
            m = LoadLibraryExW(a + 5, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
        } else if (wcsncmp(a, L"system:", 7) == 0 || wcsncmp(a, L"plain:", 6) == 0) {
            const BOOL altered = a[0] == L's';
            wchar_t path[MAX_PATH + 64];
            GetSystemDirectoryW(path, MAX_PATH);
            lstrcatW(path, L"\\");
            lstrcatW(path, a + (altered ? 7 : 6));
            m = altered ? LoadLibraryExW(path, NULL, LOAD_WITH_ALTERED_SEARCH_PATH) : LoadLibraryW(path);
        } else {
            return 3;
        }
        if (!m) error = GetLastError();
        if (m && ends_with_version(a)) version_size = call_version(m);
        report(a, m, error, version_size);
    }
    fclose(out);
    return 0;
}
