#include "platform/win32_platform.h"

#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>
#include <urlmon.h>

#include <memory>

namespace platform {

namespace {

// Closes a kernel handle when it goes out of scope.
class scoped_handle {
public:
    explicit scoped_handle(HANDLE h = nullptr) : h_(h) {}
    ~scoped_handle()
    {
        if (h_ != nullptr && h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
    }
    scoped_handle(const scoped_handle&) = delete;
    scoped_handle& operator=(const scoped_handle&) = delete;
    HANDLE get() const { return h_; }
    HANDLE* put() { return &h_; }

private:
    HANDLE h_;
};

class scoped_key {
public:
    ~scoped_key()
    {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    HKEY* put() { return &key_; }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

std::wstring folder_from(UINT (WINAPI* query)(LPWSTR, UINT))
{
    wchar_t buffer[MAX_PATH + 1] = {};
    const UINT n = query(buffer, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return std::wstring();
    return std::wstring(buffer, n);
}

UINT WINAPI temp_path(LPWSTR buffer, UINT size) { return GetTempPathW(size, buffer); }

// The entry points of version.dll, which is not a known DLL: it is loaded
// from the system folder by full path, never found by the search order.
struct version_api {
    using size_fn = DWORD(WINAPI*)(LPCWSTR, LPDWORD);
    using info_fn = BOOL(WINAPI*)(LPCWSTR, DWORD, DWORD, LPVOID);
    using query_fn = BOOL(WINAPI*)(LPCVOID, LPCWSTR, LPVOID*, PUINT);
    size_fn size = nullptr;
    info_fn info = nullptr;
    query_fn query = nullptr;

    static const version_api& get()
    {
        static const version_api api = [] {
            version_api a;
            if (HMODULE m = static_cast<HMODULE>(load_system_library(L"version.dll"))) {
                a.size = reinterpret_cast<size_fn>(reinterpret_cast<void*>(GetProcAddress(m, "GetFileVersionInfoSizeW")));
                a.info = reinterpret_cast<info_fn>(reinterpret_cast<void*>(GetProcAddress(m, "GetFileVersionInfoW")));
                a.query = reinterpret_cast<query_fn>(reinterpret_cast<void*>(GetProcAddress(m, "VerQueryValueW")));
            }
            return a;
        }();
        return api;
    }
    bool usable() const { return size != nullptr && info != nullptr && query != nullptr; }
};

// Reads a file's whole version block; false when it has none.
bool version_block(const std::wstring& path, std::vector<std::uint8_t>& block)
{
    const version_api& api = version_api::get();
    if (!api.usable()) return false;
    DWORD ignored = 0;
    const DWORD size = api.size(path.c_str(), &ignored);
    if (size == 0) return false;
    block.assign(size, 0);
    return api.info(path.c_str(), 0, size, block.data()) != FALSE;
}

HKEY root_key(reg_root root) { return root == reg_root::local_machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER; }

PSID make_admin_sid()
{
    SID_IDENTIFIER_AUTHORITY nt_authority = {SECURITY_NT_AUTHORITY};
    PSID sid = nullptr;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, &sid))
        return nullptr;
    return sid;
}

struct thread_start {
    std::function<void()> body;
};

DWORD WINAPI thread_entry(LPVOID parameter)
{
    std::unique_ptr<thread_start> start(static_cast<thread_start*>(parameter));
    try {
        start->body();
    } catch (...) {
        // Nothing may cross the thread's edge; the body reports for itself.
    }
    return 0;
}

// Binding callback for one URL transfer: reports progress and remembers the
// HTTP status the server answered with.
class binding_callback : public IBindStatusCallback, public IHttpNegotiate {
public:
    explicit binding_callback(transfer_callback& sink) : sink_(sink) {}

    std::uint32_t http_status() const { return http_status_; }

    // IUnknown. The object lives on the caller's stack for the whole
    // synchronous transfer, so nothing is counted.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IBindStatusCallback))) {
            *out = static_cast<IBindStatusCallback*>(this);
            return S_OK;
        }
        if (IsEqualIID(riid, __uuidof(IHttpNegotiate))) {
            *out = static_cast<IHttpNegotiate*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    // IBindStatusCallback
    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG so_far, ULONG total, ULONG, LPCWSTR) override
    {
        return static_cast<HRESULT>(sink_.on_progress(so_far, total));
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

    // IHttpNegotiate
    HRESULT STDMETHODCALLTYPE BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* extra) override
    {
        if (extra != nullptr) *extra = nullptr;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnResponse(DWORD code, LPCWSTR, LPCWSTR, LPWSTR* extra) override
    {
        http_status_ = code;
        if (extra != nullptr) *extra = nullptr;
        return S_OK;
    }

private:
    transfer_callback& sink_;
    std::uint32_t http_status_ = 0;
};

}  // namespace

void* load_system_library(const wchar_t* name)
{
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return nullptr;
    std::wstring path(folder, n);
    path += L'\\';
    path += name;
    return LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

bool win32_platform::path_exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool win32_platform::read_file(const std::wstring& path, std::string& bytes)
{
    scoped_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size) || size.QuadPart > 0x7FFFFFFF) return false;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &read, nullptr)) return false;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return true;
}

bool win32_platform::create_directory(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool win32_platform::delete_file(const std::wstring& path) { return DeleteFileW(path.c_str()) != FALSE; }

bool win32_platform::file_size(const std::wstring& path, std::uint64_t& size)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return true;
}

bool win32_platform::file_sha256(const std::wstring& path, std::uint8_t (&digest)[32])
{
    scoped_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    HCRYPTPROV provider = 0;
    if (!CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    bool ok = false;
    HCRYPTHASH hash = 0;
    if (CryptCreateHash(provider, CALG_SHA_256, 0, 0, &hash)) {
        std::vector<BYTE> chunk(64 * 1024);
        DWORD read = 0;
        ok = true;
        while (ok && ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr) && read > 0)
            ok = CryptHashData(hash, chunk.data(), read, 0) != FALSE;
        DWORD length = 32;
        ok = ok && CryptGetHashParam(hash, HP_HASHVAL, digest, &length, 0) && length == 32;
        CryptDestroyHash(hash);
    }
    CryptReleaseContext(provider, 0);
    return ok;
}

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
    HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(103), MAKEINTRESOURCEW(10));
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

bool win32_platform::file_version(const std::wstring& path, fixed_file_version& out)
{
    std::vector<std::uint8_t> block;
    if (!version_block(path, block)) return false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    wchar_t root[] = L"\\";
    if (!version_api::get().query(block.data(), root, reinterpret_cast<void**>(&fixed), &length) ||
        fixed == nullptr || length < sizeof(VS_FIXEDFILEINFO))
        return false;
    out.file_version_ms = fixed->dwFileVersionMS;
    out.file_version_ls = fixed->dwFileVersionLS;
    return true;
}

bool win32_platform::file_language(const std::wstring& path, std::uint16_t& langid)
{
    std::vector<std::uint8_t> block;
    if (!version_block(path, block)) return false;
    WORD* translation = nullptr;
    UINT length = 0;
    wchar_t name[] = L"\\VarFileInfo\\Translation";
    if (!version_api::get().query(block.data(), name, reinterpret_cast<void**>(&translation), &length) ||
        translation == nullptr || length < 4)
        return false;
    langid = translation[0];
    return true;
}

bool win32_platform::os_version(bool extended, os_version_info& out)
{
    OSVERSIONINFOEXW info;
    ZeroMemory(&info, sizeof info);
    info.dwOSVersionInfoSize = extended ? sizeof(OSVERSIONINFOEXW) : sizeof(OSVERSIONINFOW);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&info))) return false;
    out.platform_id = info.dwPlatformId;
    out.major = info.dwMajorVersion;
    out.minor = info.dwMinorVersion;
    out.build = info.dwBuildNumber;
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

bool win32_platform::reg_key_opens(reg_root root, const std::wstring& subkey, std::uint32_t access)
{
    scoped_key key;
    return RegOpenKeyExW(root_key(root), subkey.c_str(), 0, access, key.put()) == ERROR_SUCCESS;
}

bool win32_platform::reg_read_value(reg_root root, const std::wstring& subkey, std::uint32_t access,
                                    const std::wstring& name, std::vector<std::uint8_t>& data)
{
    scoped_key key;
    if (RegOpenKeyExW(root_key(root), subkey.c_str(), 0, access, key.put()) != ERROR_SUCCESS) return false;
    for (int attempt = 0; attempt < 4; ++attempt) {
        DWORD size = 0;
        if (RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS) return false;
        data.assign(size, 0);
        const LONG r = RegQueryValueExW(key.get(), name.c_str(), nullptr, nullptr, size ? data.data() : nullptr, &size);
        if (r == ERROR_SUCCESS) {
            data.resize(size);
            return true;
        }
        if (r != ERROR_MORE_DATA) return false;  // the value grew meanwhile: ask again
    }
    return false;
}

bool win32_platform::shell_execute_ex(const std::wstring& file, const std::wstring& parameters,
                                      process_handle& process)
{
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) return false;
    process = reinterpret_cast<process_handle>(info.hProcess);
    return true;
}

std::intptr_t win32_platform::shell_execute(const std::wstring& file)
{
    return reinterpret_cast<std::intptr_t>(ShellExecuteW(nullptr, nullptr, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
}

bool win32_platform::exit_code(process_handle process, std::uint32_t& code)
{
    DWORD value = 0;
    if (!GetExitCodeProcess(reinterpret_cast<HANDLE>(process), &value)) return false;
    code = value;
    return true;
}

wait_result win32_platform::wait_process(process_handle process, std::uint32_t timeout_ms)
{
    switch (WaitForSingleObject(reinterpret_cast<HANDLE>(process), timeout_ms)) {
    case WAIT_OBJECT_0:
        return wait_result::ended;
    case WAIT_TIMEOUT:
        return wait_result::timeout;
    default:
        return wait_result::failed;
    }
}

wait_result win32_platform::wait_process_pumping(process_handle process, std::uint32_t timeout_ms)
{
    HANDLE handle = reinterpret_cast<HANDLE>(process);
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD remaining = INFINITE;
        if (timeout_ms != INFINITE) {
            const DWORD spent = GetTickCount() - start;
            if (spent >= timeout_ms) return wait_result::timeout;
            remaining = timeout_ms - spent;
        }
        const DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, remaining, QS_ALLINPUT);
        if (r == WAIT_OBJECT_0) return wait_result::ended;
        if (r == WAIT_TIMEOUT) return wait_result::timeout;
        if (r != WAIT_OBJECT_0 + 1) return wait_result::failed;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                // Keep the quit request for the loop that owns it.
                PostQuitMessage(static_cast<int>(msg.wParam));
                return wait_process(process, timeout_ms);
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

void win32_platform::close_process(process_handle process)
{
    if (process != 0) CloseHandle(reinterpret_cast<HANDLE>(process));
}

bool win32_platform::start_thread(std::function<void()> body, thread_handle& thread)
{
    auto start = std::make_unique<thread_start>(thread_start{std::move(body)});
    HANDLE h = CreateThread(nullptr, 0, thread_entry, start.get(), 0, nullptr);
    if (h == nullptr) return false;
    start.release();  // the thread owns it now
    thread = reinterpret_cast<thread_handle>(h);
    return true;
}

wait_result win32_platform::wait_thread(thread_handle thread, std::uint32_t timeout_ms)
{
    return wait_process(thread, timeout_ms);
}

void win32_platform::close_thread(thread_handle thread)
{
    if (thread != 0) CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void win32_platform::sleep(std::uint32_t ms) { Sleep(ms); }

int win32_platform::message_box(window_handle owner, const std::wstring& text, const wchar_t* caption,
                                std::uint32_t style)
{
    return MessageBoxW(reinterpret_cast<HWND>(owner), text.c_str(), caption, style);
}

bool win32_platform::admin_sid_available()
{
    PSID sid = make_admin_sid();
    if (sid == nullptr) return false;
    FreeSid(sid);
    return true;
}

membership_status win32_platform::check_admin_membership(bool& member)
{
    using check_fn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    HMODULE advapi = LoadLibraryW(L"advapi32.dll");
    if (advapi == nullptr) return membership_status::no_library;
    membership_status status = membership_status::no_function;
    if (auto check = reinterpret_cast<check_fn>(reinterpret_cast<void*>(GetProcAddress(advapi, "CheckTokenMembership")))) {
        status = membership_status::failed;
        if (PSID sid = make_admin_sid()) {
            BOOL is_member = FALSE;
            if (check(nullptr, sid, &is_member)) {
                member = is_member != FALSE;
                status = membership_status::ok;
            }
            FreeSid(sid);
        }
    }
    FreeLibrary(advapi);
    return status;
}

token_status win32_platform::token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                                          std::vector<bool>& is_admin_group)
{
    scoped_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.put())) return token_status::no_token;
    std::vector<std::uint8_t> buffer(buffer_size);
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(token.get(), TokenGroups, buffer.data(), buffer_size, &size);
    needed = size;
    if (!ok) return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? token_status::buffer_too_small : token_status::failed;
    PSID admins = make_admin_sid();
    if (admins == nullptr) return token_status::failed;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i) is_admin_group.push_back(EqualSid(groups->Groups[i].Sid, admins) != FALSE);
    FreeSid(admins);
    return token_status::ok;
}

void win32_platform::reboot_windows()
{
    // Results are not examined: without the privilege the restart simply
    // does not happen.
    scoped_handle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    ExitWindowsEx(EWX_REBOOT, 0);
}

transfer_result win32_platform::download_url(const std::wstring& url, const std::wstring& target,
                                             transfer_callback& callback)
{
    using download_fn = HRESULT(WINAPI*)(LPUNKNOWN, LPCWSTR, LPCWSTR, DWORD, LPBINDSTATUSCALLBACK);
    static const download_fn download = [] {
        HMODULE urlmon = static_cast<HMODULE>(load_system_library(L"urlmon.dll"));
        return urlmon ? reinterpret_cast<download_fn>(reinterpret_cast<void*>(GetProcAddress(urlmon, "URLDownloadToFileW")))
                      : nullptr;
    }();
    if (download == nullptr) return transfer_result{static_cast<std::int32_t>(E_NOTIMPL), 0};
    const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    binding_callback binding(callback);
    const HRESULT hr = download(nullptr, url.c_str(), target.c_str(), 0, &binding);
    if (SUCCEEDED(com)) CoUninitialize();
    return transfer_result{static_cast<std::int32_t>(hr), binding.http_status()};
}

}  // namespace platform
