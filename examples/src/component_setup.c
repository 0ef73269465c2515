/* The installer of one of the example medium's components: it records the
 * component as installed in the registry, the way a real redistributable
 * does, so that the component's installed check finds it next time.
 *
 * Built twice by tools/CMakeLists.txt with different definitions:
 *   SETUP_KEY         the key under HKEY_LOCAL_MACHINE, e.g. L"SOFTWARE\\Yolvane\\Example Runtime"
 *   SETUP_VALUE_NAME  the value's name
 *   SETUP_VALUE_SZ or SETUP_VALUE_DWORD, and SETUP_VALUE, the value itself
 *
 * It appends one line to "<its own path>.log" when it starts, so that a test
 * can tell which components ran. It takes no arguments (Setup.exe passes
 * none) and shows no window. Exit code 0 on success, 1603 (the Windows
 * Installer's "fatal error") when the registry cannot be written. */
#include <windows.h>
#include <wchar.h>

static void log_start(void)
{
    WCHAR path[MAX_PATH + 8];
    DWORD n = GetModuleFileNameW(NULL, path, MAX_PATH);
    HANDLE f;
    DWORD written;
    static const char line[] = "started\r\n";
    if (n == 0 || n >= MAX_PATH) return;
    lstrcatW(path, L".log");
    f = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL, NULL);
    if (f == INVALID_HANDLE_VALUE) return;
    WriteFile(f, line, sizeof line - 1, &written, NULL);
    CloseHandle(f);
}

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE previous, PWSTR command_line, int show)
{
    HKEY key;
    LONG result;
    (void)instance;
    (void)previous;
    (void)command_line;
    (void)show;
    log_start();
    /* A 32-bit program: the key lands where Setup.exe, also 32-bit, reads. */
    if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, SETUP_KEY, 0, NULL, 0, KEY_SET_VALUE, NULL, &key, NULL) != ERROR_SUCCESS)
        return 1603;
#if defined(SETUP_VALUE_SZ)
    {
        static const WCHAR text[] = SETUP_VALUE;
        result = RegSetValueExW(key, SETUP_VALUE_NAME, 0, REG_SZ, (const BYTE*)text, sizeof text);
    }
#elif defined(SETUP_VALUE_DWORD)
    {
        DWORD number = SETUP_VALUE;
        result = RegSetValueExW(key, SETUP_VALUE_NAME, 0, REG_DWORD, (const BYTE*)&number, sizeof number);
    }
#else
#error "define SETUP_VALUE_SZ or SETUP_VALUE_DWORD"
#endif
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1603;
}
