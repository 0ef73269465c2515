#include "platform/win32_platform.h"

#include <windows.h>
#include <wininet.h>

#include "platform/win32_api.h"
#include "resources/resource.h"

namespace platform {

namespace {

std::wstring folder_from(UINT (WINAPI* query)(LPWSTR, UINT))
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT n = query(buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    return std::wstring(buffer, n);
}

UINT WINAPI temp_path(LPWSTR buffer, UINT size) { return GetTempPathW(size, buffer); }

}  // namespace

bool win32_platform::module_path(std::wstring& path)
{
    // The wide form, grown as needed: a folder name that the ANSI code page
    // cannot represent must still lead to the right "setup.xml".
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0) return false;
        if (n < buffer.size()) {
            path.assign(buffer.data(), n);
            return true;
        }
        if (buffer.size() >= 32768) return false;
        buffer.resize(buffer.size() * 2);
    }
}

resource_status win32_platform::configuration_resource(std::string& bytes)
{
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(IDR_CONFIGURATION), MAKEINTRESOURCEW(10));
    if (found == nullptr) return resource_status::not_found;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (loaded == nullptr) return resource_status::load_failed;
    const void* data = LockResource(loaded);
    if (data == nullptr) return resource_status::lock_failed;
    bytes.assign(static_cast<const char*>(data), SizeofResource(nullptr, found));
    return resource_status::ok;
}

std::wstring win32_platform::system_directory() { return folder_from(GetSystemDirectoryW); }

std::wstring win32_platform::windows_directory() { return folder_from(GetWindowsDirectoryW); }

std::wstring win32_platform::temp_directory() { return folder_from(temp_path); }

bool win32_platform::os_version(bool extended, os_version_info& out)
{
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = extended ? sizeof(OSVERSIONINFOEXW) : sizeof(OSVERSIONINFOW);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
    out.platform_id = info.dwPlatformId;
    out.major = info.dwMajorVersion;
    out.minor = info.dwMinorVersion;
    out.service_pack_major = extended ? info.wServicePackMajor : 0;
    out.csd_version = info.szCSDVersion;
    return true;
}

std::wstring win32_platform::ansi_to_wide(const std::string& text)
{
    if (text.empty()) return std::wstring();
    const int n = MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring out(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_THREAD_ACP, 0, text.data(), static_cast<int>(text.size()), &out[0], n);
    return out;
}

std::wstring win32_platform::command_line()
{
    const wchar_t* line = GetCommandLineW();
    return line != nullptr ? std::wstring(line) : std::wstring();
}

std::wstring win32_platform::error_text(std::uint32_t code)
{
    wchar_t buffer[1024] = {};
    const DWORD flags = FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_MAX_WIDTH_MASK;
    DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | flags, nullptr, code, 0, buffer, 1024, nullptr);
    // The network's own codes have their texts in wininet.dll.
    if (n == 0 && code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
        const HMODULE texts = win32::internet_module();
        if (texts != nullptr)
            n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | flags, texts, code, 0, buffer, 1024, nullptr);
    }
    std::wstring text(buffer, n);
    while (!text.empty() && (text.back() == L' ' || text.back() == L'\r' || text.back() == L'\n')) text.pop_back();
    return text;
}

local_time win32_platform::now()
{
    SYSTEMTIME t;
    GetLocalTime(&t);
    return local_time{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

}  // namespace platform

namespace win32 {

module load_system_library(const wchar_t* name)
{
    std::wstring path = platform::folder_from(GetSystemDirectoryW);
    if (path.empty()) return module();
    path += L'\\';
    path += name;
    return module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace win32
