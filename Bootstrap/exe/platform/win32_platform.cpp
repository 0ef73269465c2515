#include "platform/win32_platform.h"

#include <windows.h>
#include <shellapi.h>
#include <wincrypt.h>
#include <urlmon.h>
#include <wininet.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "base/read_size.h"
#include "platform/win32_handles.h"
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

// Finds an entry point of a DLL; its type comes from the declaration in the
// headers, so that nothing is imported by name.
template <class F>
F entry(HMODULE module, const char* name)
{
    return module ? reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
}

// A value built once, also when threads ask for it at the same time (the
// program carries no guard of the runtime's for function-local statics).
// It lives for the rest of the process.
template <class T, class Make>
const T& built_once(Make make)
{
    static volatile LONG state = 0;  // 0: not built, 1: being built, 2: built
    alignas(T) static unsigned char storage[sizeof(T)];
    if (InterlockedCompareExchange(&state, 1, 0) == 0) {
        new (storage) T(make());
        InterlockedExchange(&state, 2);
    } else {
        while (state != 2) Sleep(0);
    }
    return *reinterpret_cast<const T*>(storage);
}

// The entry points of a DLL of the system folder, looked up once and kept
// for the rest of the process. `Api` names its DLL and, in `bind`, finds
// each entry point with `find`; it is usable when every one was found.
template <class Api>
struct system_api {
    static const Api& get()
    {
        return built_once<Api>([] {
            Api api;
            const HMODULE m = win32::load_system_library(Api::dll).release();  // kept for the process
            api.bind(m);
            return api;
        });
    }
    bool usable() const { return found_all_; }

protected:
    template <class F>
    void find(HMODULE m, F& into, const char* name)
    {
        into = entry<F>(m, name);
        found_all_ = found_all_ && into != nullptr;
    }

private:
    bool found_all_ = true;
};

// version.dll is not a known DLL: it is loaded from the system folder by
// full path, never found by the search order.
struct version_api : system_api<version_api> {
    static constexpr const wchar_t* dll = L"version.dll";
    decltype(&GetFileVersionInfoSizeW) size = nullptr;
    decltype(&GetFileVersionInfoW) info = nullptr;
    decltype(&VerQueryValueW) query = nullptr;

    void bind(HMODULE m)
    {
        find(m, size, "GetFileVersionInfoSizeW");
        find(m, info, "GetFileVersionInfoW");
        find(m, query, "VerQueryValueW");
    }
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

// Whether this 32-bit process runs on 64-bit Windows, where the registry has
// two views. IsWow64Process is looked up: Windows XP before SP2 lacks it.
bool under_wow64()
{
    return built_once<bool>([] {
        using query_fn = BOOL(WINAPI*)(HANDLE, PBOOL);
        const query_fn query = entry<query_fn>(GetModuleHandleW(L"kernel32.dll"), "IsWow64Process");
        BOOL wow64 = FALSE;
        return query != nullptr && query(GetCurrentProcess(), &wow64) != FALSE && wow64 != FALSE;
    });
}

// 32-bit Windows from XP SP2 and Server 2003 on ignores KEY_WOW64_64KEY, but
// a release without WOW64 may refuse it: the flag is given only where there
// are two views, and elsewhere the one view is read.
REGSAM access_of(reg_access access, reg_view view)
{
    const REGSAM rights = access == reg_access::read ? KEY_READ : KEY_QUERY_VALUE;
    return view == reg_view::native && under_wow64() ? rights | KEY_WOW64_64KEY : rights;
}

win32::sid make_admin_sid()
{
    SID_IDENTIFIER_AUTHORITY nt_authority = {SECURITY_NT_AUTHORITY};
    win32::sid sid;
    if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0,
                                  0, 0, sid.put()))
        return win32::sid();
    return sid;
}

struct thread_start {
    std::function<void()> body;
};

DWORD WINAPI thread_entry(LPVOID parameter)
{
    std::unique_ptr<thread_start> start(static_cast<thread_start*>(parameter));
    start->body();
    return 0;
}

// A transfer waits this long on a quiet network before it gives up by
// itself. Whoever watches a transfer decides sooner when it has stalled;
// this only makes sure that a transfer given up on still ends.
constexpr DWORD network_wait_ms = 45000;

struct internet_api : system_api<internet_api> {
    static constexpr const wchar_t* dll = L"wininet.dll";
    HMODULE module = nullptr;  // for the texts of its error codes
    decltype(&InternetOpenW) open = nullptr;
    decltype(&InternetCrackUrlW) crack = nullptr;
    decltype(&InternetConnectW) connect = nullptr;
    decltype(&HttpOpenRequestW) open_request = nullptr;
    decltype(&InternetSetOptionW) set_option = nullptr;
    decltype(&HttpSendRequestW) send = nullptr;
    decltype(&HttpQueryInfoW) query = nullptr;
    decltype(&InternetQueryDataAvailable) available = nullptr;
    decltype(&InternetReadFile) read = nullptr;
    decltype(&InternetCloseHandle) close = nullptr;

    void bind(HMODULE m)
    {
        module = m;
        find(m, open, "InternetOpenW");
        find(m, crack, "InternetCrackUrlW");
        find(m, connect, "InternetConnectW");
        find(m, open_request, "HttpOpenRequestW");
        find(m, set_option, "InternetSetOptionW");
        find(m, send, "HttpSendRequestW");
        find(m, query, "HttpQueryInfoW");
        find(m, available, "InternetQueryDataAvailable");
        find(m, read, "InternetReadFile");
        find(m, close, "InternetCloseHandle");
    }
};

struct internet_traits {
    using type = HINTERNET;
    static HINTERNET none() { return nullptr; }
    static bool valid(HINTERNET h) { return h != nullptr; }
    static void close(HINTERNET h) { internet_api::get().close(h); }
};
using internet_handle = win32::owner<internet_traits>;

// The file a transfer stores into: deleted again unless the transfer keeps
// it. Its handle is open only while bytes are written, and then nobody else
// may open it, so that whoever gives up on the transfer (a watcher that saw
// it stall, or a user who cancelled) can delete it at once, even while the
// transfer still waits on the network: a file held open across those waits
// would keep its name in the folder until the transfer ended. A write that
// came after that delete finds no file and writes nothing. Between writes the
// name keeps others out: it is the attempt's own. It holds its own copy of
// the path, so that it may outlive whoever named it.
class partial_file {
public:
    explicit partial_file(std::wstring path) : path_(std::move(path)) { created_ = open_for(CREATE_ALWAYS); }
    ~partial_file()
    {
        if (created_ && !keep_) DeleteFileW(path_.c_str());
    }
    partial_file(const partial_file&) = delete;
    partial_file& operator=(const partial_file&) = delete;
    bool created() const { return created_; }
    // Appends; what is held back is written once it fills the buffer.
    bool write(const char* data, DWORD size)
    {
        held_.insert(held_.end(), data, data + size);
        return held_.size() < held_back || flush();
    }
    // Writes what is held back and keeps the file.
    bool keep()
    {
        keep_ = flush();
        return keep_;
    }

private:
    static constexpr std::size_t held_back = 256 * 1024;

    bool open_for(DWORD disposition)
    {
        win32::kernel_handle file(CreateFileW(path_.c_str(), disposition == CREATE_ALWAYS ? GENERIC_WRITE : FILE_APPEND_DATA,
                                              FILE_SHARE_DELETE, nullptr, disposition,
                                              FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!file) return false;
        DWORD written = 0;
        const bool ok = held_.empty() || (WriteFile(file.get(), held_.data(), static_cast<DWORD>(held_.size()),
                                                    &written, nullptr) &&
                                          written == held_.size());
        held_.clear();
        return ok;
    }
    // Only to a file that is still there: one deleted meanwhile stays gone.
    bool flush() { return held_.empty() || open_for(OPEN_EXISTING); }

    const std::wstring path_;
    std::vector<char> held_;
    bool created_ = false;
    bool keep_ = false;
};

transfer_status internet_failure(DWORD error)
{
    switch (error) {
    case ERROR_INTERNET_CANNOT_CONNECT:
        return transfer_status::cannot_connect;
    case ERROR_INTERNET_CONNECTION_RESET:
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
        return transfer_status::connection_lost;
    case ERROR_INTERNET_TIMEOUT:
        return transfer_status::timed_out;
    default:
        return transfer_status::failed;
    }
}

transfer_result failure(transfer_status status, DWORD code)
{
    transfer_result r;
    r.status = status;
    r.code = code;
    return r;
}

// The user agent of the system's own web components, as URL monikers send
// it, so that servers answer as they answer the browser.
const std::wstring& user_agent()
{
    return built_once<std::wstring>([] {
        using obtain_fn = HRESULT(WINAPI*)(DWORD, LPSTR, DWORD*);
        auto obtain = entry<obtain_fn>(win32::load_system_library(L"urlmon.dll").release(), "ObtainUserAgentString");
        char narrow[512] = {};
        DWORD size = sizeof narrow;
        if (obtain == nullptr || FAILED(obtain(0, narrow, &size))) return std::wstring(L"Mozilla/4.0 (compatible)");
        std::wstring wide;
        for (const char* c = narrow; *c != '\0'; ++c) wide.push_back(static_cast<unsigned char>(*c));
        return wide;
    });
}

std::uint64_t decimal_value(const wchar_t* text)
{
    std::uint64_t value = 0;
    for (; *text >= L'0' && *text <= L'9'; ++text) value = value * 10 + static_cast<std::uint64_t>(*text - L'0');
    return value;
}

std::wstring part_of(const wchar_t* text, DWORD length) { return text ? std::wstring(text, length) : std::wstring(); }

// HTTP and HTTPS through WinINet: the transfer's own timeouts keep it from
// hanging for ever, and the file is written here, so that a transfer given
// up on leaves nothing behind.
transfer_result http_download(const std::wstring& url, const std::wstring& target, transfer_sink& sink)
{
    const internet_api& net = internet_api::get();
    if (!net.usable()) return failure(transfer_status::failed, ERROR_PROC_NOT_FOUND);

    URL_COMPONENTSW parts;
    ZeroMemory(&parts, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    parts.dwUserNameLength = parts.dwPasswordLength = 1;
    if (!net.crack(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts))
        return failure(transfer_status::failed, GetLastError());
    const std::wstring host = part_of(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path = part_of(parts.lpszUrlPath, parts.dwUrlPathLength) +
                        part_of(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";
    const std::wstring user = part_of(parts.lpszUserName, parts.dwUserNameLength);
    const std::wstring password = part_of(parts.lpszPassword, parts.dwPasswordLength);

    internet_handle session(net.open(user_agent().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (session.get() == nullptr) return failure(transfer_status::failed, GetLastError());
    internet_handle connection(net.connect(session.get(), host.c_str(), parts.nPort,
                                           user.empty() ? nullptr : user.c_str(),
                                           password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP,
                                           0, 0));
    if (connection.get() == nullptr) return failure(transfer_status::failed, GetLastError());
    const wchar_t* accept[] = {L"*/*", nullptr};
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    internet_handle request(net.open_request(connection.get(), L"GET", path.c_str(), nullptr, nullptr, accept,
                                             flags, 0));
    if (request.get() == nullptr) return failure(transfer_status::failed, GetLastError());
    DWORD wait = network_wait_ms;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        net.set_option(request.get(), option, &wait, sizeof wait);

    if (!net.send(request.get(), nullptr, 0, nullptr, 0)) {
        const DWORD error = GetLastError();
        return failure(internet_failure(error), error);
    }
    transfer_result r;
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    // An answer without a status line is a connection that broke off.
    if (!net.query(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index) ||
        status == 0)
        return failure(transfer_status::connection_lost, GetLastError());
    r.http_status = status;
    wchar_t length[32] = {};
    size = sizeof length - sizeof(wchar_t);
    index = 0;
    if (net.query(request.get(), HTTP_QUERY_CONTENT_LENGTH, length, &size, &index)) r.announced = decimal_value(length);
    // The answer's headers have arrived.
    if (!sink.on_bytes(0, r.announced)) return failure(transfer_status::cancelled, 0);
    if (status >= 400) {
        r.status = transfer_status::completed;
        return r;
    }

    partial_file file(target);
    if (!file.created()) return failure(transfer_status::failed, GetLastError());
    std::vector<char> chunk(64 * 1024);
    std::uint64_t stored = 0;
    for (;;) {
        // A synchronous read returns only when its buffer is full or the
        // body has ended, so on a slow link one read of the whole buffer
        // would keep every arrival from the watcher, which would count the
        // transfer as stalled while bytes come in. What has arrived is
        // asked first and read alone; none left means the end, which a
        // read of one byte confirms.
        DWORD available = 0;
        DWORD got = 0;
        if (!net.available(request.get(), &available, 0, 0) ||
            !net.read(request.get(), chunk.data(), base::read_size(available, static_cast<DWORD>(chunk.size())),
                      &got)) {
            const DWORD error = GetLastError();
            r.status = internet_failure(error);
            r.code = error;
            return r;
        }
        if (got == 0) break;
        stored += got;
        // Asked before the bytes are written: a transfer given up on writes
        // nothing more.
        if (!sink.on_bytes(stored, r.announced)) return failure(transfer_status::cancelled, 0);
        if (!file.write(chunk.data(), got)) return failure(transfer_status::failed, GetLastError());
    }
    if (!file.keep()) return failure(transfer_status::failed, GetLastError());
    r.status = transfer_status::completed;
    return r;
}

// A moniker transfer runs on a thread of its own, which nothing can
// interrupt while the system waits for the source; the transfer that waits
// for it shares this with it. The transfer stops waiting after a quiet as
// long as an HTTP transfer waits, and that thread then deletes its file
// itself whenever it ends.
struct moniker_state {
    enum phase_value { running, ended, given_up };
    moniker_state(std::wstring url, std::wstring target) : url(std::move(url)), target(std::move(target)) {}
    const std::wstring url;
    const std::wstring target;
    std::atomic<DWORD> last_progress{GetTickCount()};
    std::atomic<ULONG> so_far{0};
    std::atomic<ULONG> announced{0};
    std::atomic<ULONG> progress_count{0};
    std::atomic<bool> stop{false};  // the binding is aborted at its next progress
    std::atomic<int> phase{running};
    HRESULT result = E_FAIL;  // written before the thread ends
};

// Any other address (a file path, file: or ftp:) through the system's URL
// monikers, which follow the same proxy settings.
class binding_callback : public IBindStatusCallback {
public:
    explicit binding_callback(moniker_state& state) : state_(state) {}

    // IUnknown. The object lives on the caller's stack for the whole
    // synchronous transfer, so nothing is counted.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override
    {
        if (out == nullptr) return E_POINTER;
        if (IsEqualIID(riid, __uuidof(IUnknown)) || IsEqualIID(riid, __uuidof(IBindStatusCallback))) {
            *out = static_cast<IBindStatusCallback*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 1; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }

    HRESULT STDMETHODCALLTYPE OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetPriority(LONG*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnLowResource(DWORD) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnProgress(ULONG so_far, ULONG total, ULONG, LPCWSTR) override
    {
        if (total > state_.announced) state_.announced = total;
        state_.so_far = so_far;
        state_.last_progress = GetTickCount();
        ++state_.progress_count;
        return state_.stop ? E_ABORT : S_OK;
    }
    HRESULT STDMETHODCALLTYPE OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

private:
    moniker_state& state_;
};

using moniker_download_fn = HRESULT(WINAPI*)(LPUNKNOWN, LPCWSTR, LPCWSTR, DWORD, LPBINDSTATUSCALLBACK);

// The body of a moniker transfer's own thread: its file stays only when it
// arrived before the transfer gave up waiting.
void run_moniker(moniker_state& state, moniker_download_fn download)
{
    {
        const win32::com_apartment apartment;
        binding_callback binding(state);
        state.result = download(nullptr, state.url.c_str(), state.target.c_str(), 0, &binding);
    }
    int running = moniker_state::running;
    const bool claimed = state.phase.compare_exchange_strong(running, moniker_state::ended);
    if (!claimed || FAILED(state.result)) DeleteFileW(state.target.c_str());
}

transfer_status moniker_failure(HRESULT hr)
{
    switch (static_cast<std::uint32_t>(hr)) {
    case 0x80004004u:  // E_ABORT: the sink stopped it
        return transfer_status::cancelled;
    case 0x800C0004u:  // INET_E_CANNOT_CONNECT
        return transfer_status::cannot_connect;
    case 0x800C000Bu:  // INET_E_CONNECTION_TIMEOUT
        return transfer_status::timed_out;
    default:
        return transfer_status::failed;
    }
}

transfer_result moniker_download(const std::wstring& url, const std::wstring& target, transfer_sink& sink)
{
    const moniker_download_fn download = built_once<moniker_download_fn>([] {
        return entry<moniker_download_fn>(win32::load_system_library(L"urlmon.dll").release(), "URLDownloadToFileW");
    });
    if (download == nullptr) return failure(transfer_status::failed, static_cast<DWORD>(E_NOTIMPL));
    const auto state = std::make_shared<moniker_state>(url, target);
    auto start = std::make_unique<thread_start>(thread_start{[state, download] { run_moniker(*state, download); }});
    const win32::kernel_handle thread(CreateThread(nullptr, 0, thread_entry, start.get(), 0, nullptr));
    if (!thread) return failure(transfer_status::failed, GetLastError());
    start.release();  // the thread owns it now

    ULONG seen = 0;
    while (WaitForSingleObject(thread.get(), 100) == WAIT_TIMEOUT) {
        const ULONG count = state->progress_count;
        if (count != seen) {
            seen = count;
            if (!sink.on_bytes(state->so_far, state->announced)) state->stop = true;
        }
        const DWORD last = state->last_progress;  // before the clock, so never newer than it
        if (!state->stop && GetTickCount() - last < network_wait_ms) continue;
        int running = moniker_state::running;
        if (state->phase.compare_exchange_strong(running, moniker_state::given_up))
            return failure(state->stop ? transfer_status::cancelled : transfer_status::timed_out, 0);
    }
    transfer_result r;
    r.code = static_cast<std::uint32_t>(state->result);
    r.announced = state->announced;
    if (FAILED(state->result)) {
        r.status = moniker_failure(state->result);
        return r;
    }
    // Given up on during its last moments: the file must not stay.
    if (!sink.on_bytes(state->so_far, r.announced)) {
        DeleteFileW(target.c_str());
        return failure(transfer_status::cancelled, 0);
    }
    r.status = transfer_status::completed;
    return r;
}

bool is_http(const std::wstring& url)
{
    std::wstring scheme = url.substr(0, url.find(L':'));
    for (auto& c : scheme)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return scheme == L"http" || scheme == L"https";
}

}  // namespace

}  // namespace platform

namespace win32 {

module load_system_library(const wchar_t* name)
{
    wchar_t folder[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryW(folder, MAX_PATH + 1);
    if (n == 0 || n > MAX_PATH) return module();
    std::wstring path(folder, n);
    path += L'\\';
    path += name;
    return module(LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
}

}  // namespace win32

namespace platform {

bool win32_platform::path_exists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

read_status win32_platform::read_file(const std::wstring& path, std::size_t limit, std::string& bytes)
{
    win32::kernel_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return read_status::failed;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file.get(), &size)) return read_status::failed;
    // The size is judged before any byte is read: an oversized file never
    // reaches memory.
    if (static_cast<std::uint64_t>(size.QuadPart) > limit) return read_status::too_large;
    bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
    std::size_t done = 0;
    while (done < bytes.size()) {
        DWORD read = 0;
        if (!ReadFile(file.get(), &bytes[done], static_cast<DWORD>(bytes.size() - done), &read, nullptr))
            return read_status::failed;
        if (read == 0) break;
        done += read;
    }
    bytes.resize(done);
    return read_status::ok;
}

bool win32_platform::create_directory(const std::wstring& path)
{
    return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool win32_platform::delete_file(const std::wstring& path) { return DeleteFileW(path.c_str()) != FALSE; }

bool win32_platform::move_file(const std::wstring& from, const std::wstring& to)
{
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}

bool win32_platform::append_file(const std::wstring& path, const std::string& bytes)
{
    win32::kernel_handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD written = 0;
    return WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

std::wstring win32_platform::full_path(const std::wstring& path)
{
    if (path.empty()) return std::wstring();
    std::vector<wchar_t> buffer(MAX_PATH + 1);
    for (int attempt = 0; attempt < 2; ++attempt) {
        const DWORD n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
        if (n == 0) return std::wstring();
        if (n < buffer.size()) return std::wstring(buffer.data(), n);
        buffer.resize(n + 1);  // the size it needs, with its terminator
    }
    return std::wstring();
}

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
    win32::kernel_handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    win32::crypt_provider provider;
    if (!CryptAcquireContextW(provider.put(), nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT)) return false;
    win32::crypt_hash hash;
    if (!CryptCreateHash(provider.get(), CALG_SHA_256, 0, 0, hash.put())) return false;
    std::vector<BYTE> chunk(64 * 1024);
    for (;;) {
        DWORD read = 0;
        // A read that fails is not the end of the file: the digest of what
        // was read so far would be the digest of another file.
        if (!ReadFile(file.get(), chunk.data(), static_cast<DWORD>(chunk.size()), &read, nullptr)) return false;
        if (read == 0) break;
        if (!CryptHashData(hash.get(), chunk.data(), read, 0)) return false;
    }
    DWORD length = 32;
    return CryptGetHashParam(hash.get(), HP_HASHVAL, digest, &length, 0) && length == 32;
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
        const internet_api& net = internet_api::get();
        if (net.module != nullptr)
            n = FormatMessageW(FORMAT_MESSAGE_FROM_HMODULE | flags, net.module, code, 0, buffer, 1024, nullptr);
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

bool win32_platform::key_opens(reg_root root, const std::wstring& subkey, reg_access access, reg_view view)
{
    win32::registry_key key;
    return RegOpenKeyExW(root_key(root), subkey.c_str(), 0, access_of(access, view), key.put()) == ERROR_SUCCESS;
}

bool win32_platform::read_value(reg_root root, const std::wstring& subkey, reg_access access, reg_view view,
                                const std::wstring& name, std::vector<std::uint8_t>& data)
{
    win32::registry_key key;
    if (RegOpenKeyExW(root_key(root), subkey.c_str(), 0, access_of(access, view), key.put()) != ERROR_SUCCESS)
        return false;
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

namespace {

// A failed shell call's error, never 0: a shell that says nothing more is
// reported as a general failure.
std::uint32_t shell_error()
{
    const DWORD error = GetLastError();
    return error != 0 ? error : ERROR_GEN_FAILURE;
}

}  // namespace

bool win32_platform::shell_execute_ex(const std::wstring& file, const std::wstring& parameters, shell_verb verb,
                                      process_handle& process, std::uint32_t& error)
{
    // An elevated program may start elsewhere than its caller: the folder is
    // named, so that relative paths mean the same to it.
    std::vector<wchar_t> folder(GetCurrentDirectoryW(0, nullptr) + 1, L'\0');
    if (GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data()) == 0) folder[0] = L'\0';
    SHELLEXECUTEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOCLOSEPROCESS | (refuse_boxes_ ? SEE_MASK_FLAG_NO_UI : 0);
    info.lpVerb = verb == shell_verb::run_as_administrator ? L"runas" : nullptr;
    info.lpFile = file.c_str();
    info.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
    info.lpDirectory = folder[0] != L'\0' ? folder.data() : nullptr;
    info.nShow = SW_SHOWNORMAL;
    SetLastError(0);
    if (!ShellExecuteExW(&info)) {
        error = shell_error();
        return false;
    }
    process = reinterpret_cast<process_handle>(info.hProcess);
    return true;
}

bool win32_platform::shell_open(const std::wstring& file, std::uint32_t& error)
{
    SetLastError(0);
    if (refuse_boxes_) {
        // The same default action, with the shell told to keep quiet.
        SHELLEXECUTEINFOW info;
        ZeroMemory(&info, sizeof info);
        info.cbSize = sizeof info;
        info.fMask = SEE_MASK_FLAG_NO_UI;
        info.lpFile = file.c_str();
        info.nShow = SW_SHOWNORMAL;
        if (ShellExecuteExW(&info)) return true;
    } else if (reinterpret_cast<std::intptr_t>(
                   ShellExecuteW(nullptr, nullptr, file.c_str(), nullptr, nullptr, SW_SHOWNORMAL)) > 32) {
        return true;
    }
    error = shell_error();
    return false;
}

void win32_platform::refuse_system_boxes()
{
    refuse_boxes_ = true;
    // The error mode can only be set whole: the one in force is read by
    // setting another, then set again with these added. A crash of the
    // program itself shows no report box either: nobody would close it.
    const UINT previous = SetErrorMode(0);
    SetErrorMode(previous | SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
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
            // A dialog's keys (Esc, Enter, Tab) go to the dialog they are
            // meant for, as its own message loop would give them.
            HWND root = msg.hwnd != nullptr ? GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
            if (root != nullptr && IsDialogMessageW(root, &msg)) continue;
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

wait_result win32_platform::wait_thread_pumping(thread_handle thread, std::uint32_t timeout_ms)
{
    return wait_process_pumping(thread, timeout_ms);
}

void win32_platform::close_thread(thread_handle thread)
{
    if (thread != 0) CloseHandle(reinterpret_cast<HANDLE>(thread));
}

void win32_platform::sleep(std::uint32_t ms) { Sleep(ms); }

void win32_platform::sleep_pumping(std::uint32_t ms)
{
    // Waiting on the current process, which does not end meanwhile, is a
    // pause that serves the messages.
    wait_process_pumping(reinterpret_cast<process_handle>(GetCurrentProcess()), ms);
}

std::uint32_t win32_platform::tick_count() { return GetTickCount(); }

std::uint32_t win32_platform::process_id() { return GetCurrentProcessId(); }

box_answer win32_platform::message_box(window_handle owner, const std::wstring& text, const wchar_t* caption,
                                       box_icon icon, box_buttons buttons)
{
    UINT style = buttons == box_buttons::yes_no ? MB_YESNO : MB_OK;
    switch (icon) {
    case box_icon::error: style |= MB_ICONERROR; break;
    case box_icon::warning: style |= MB_ICONWARNING; break;
    case box_icon::information: style |= MB_ICONINFORMATION; break;
    case box_icon::question: style |= MB_ICONQUESTION; break;
    }
    HWND window = reinterpret_cast<HWND>(owner);
    const int answer = MessageBoxW(window, text.c_str(), caption, style);
    // The owner is in front again once its box has closed, wherever the
    // system would have put the activation.
    if (window != nullptr) SetForegroundWindow(window);
    return answer == IDYES ? box_answer::yes : answer == IDNO ? box_answer::no : box_answer::ok;
}

bool win32_platform::admin_sid_available() { return static_cast<bool>(make_admin_sid()); }

membership_status win32_platform::check_admin_membership(bool& member)
{
    using check_fn = BOOL(WINAPI*)(HANDLE, PSID, PBOOL);
    const win32::module advapi = win32::load_system_library(L"advapi32.dll");
    if (!advapi) return membership_status::no_library;
    const auto check = entry<check_fn>(advapi.get(), "CheckTokenMembership");
    if (check == nullptr) return membership_status::no_function;
    const win32::sid admins = make_admin_sid();
    BOOL is_member = FALSE;
    if (!admins || !check(nullptr, admins.get(), &is_member)) return membership_status::failed;
    member = is_member != FALSE;
    return membership_status::ok;
}

token_status win32_platform::token_groups(std::uint32_t buffer_size, std::uint32_t& needed,
                                          std::vector<bool>& is_admin_group)
{
    win32::kernel_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_READ, token.put())) return token_status::no_token;
    std::vector<std::uint8_t> buffer(buffer_size);
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(token.get(), TokenGroups, buffer.data(), buffer_size, &size);
    needed = size;
    if (!ok) return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? token_status::buffer_too_small : token_status::failed;
    const win32::sid admins = make_admin_sid();
    if (!admins) return token_status::failed;
    const auto* groups = reinterpret_cast<const TOKEN_GROUPS*>(buffer.data());
    for (DWORD i = 0; i < groups->GroupCount; ++i)
        is_admin_group.push_back(EqualSid(groups->Groups[i].Sid, admins.get()) != FALSE);
    return token_status::ok;
}

token_elevation win32_platform::elevation()
{
    // TokenElevation (20) and its one-word answer, by number: headers for
    // older systems lack them, and those systems refuse the class.
    constexpr int token_elevation_class = 20;
    win32::kernel_handle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, token.put())) return token_elevation::unknown;
    DWORD elevated = 0;
    DWORD size = 0;
    if (!GetTokenInformation(token.get(), static_cast<TOKEN_INFORMATION_CLASS>(token_elevation_class), &elevated,
                             sizeof elevated, &size) ||
        size != sizeof elevated)
        return token_elevation::unknown;
    return elevated != 0 ? token_elevation::elevated : token_elevation::limited;
}

bool win32_platform::reboot_windows(std::uint32_t& error)
{
    // The privilege is asked for without looking at the answer: the restart
    // itself tells whether it was granted.
    win32::kernel_handle token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.put())) {
        TOKEN_PRIVILEGES privileges;
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, L"SeShutdownPrivilege", &privileges.Privileges[0].Luid))
            AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
    }
    if (ExitWindowsEx(EWX_REBOOT, 0)) return true;
    error = GetLastError();
    return false;
}

transfer_result win32_platform::download_url(const std::wstring& url, const std::wstring& target,
                                             transfer_sink& sink)
{
    return is_http(url) ? http_download(url, target, sink) : moniker_download(url, target, sink);
}

// ------------------------------------------------------------ instances

lock_status win32_platform::take_run_lock(const std::wstring& name)
{
    // The handle is left open on purpose: the lock lasts as long as the
    // process, and the system closes it when the process ends.
    HANDLE mutex = CreateMutexW(nullptr, FALSE, name.c_str());
    const DWORD error = GetLastError();
    if (mutex != nullptr && error != ERROR_ALREADY_EXISTS) return lock_status::taken;
    if (mutex != nullptr) CloseHandle(mutex);
    // A lock made by another user (an administrator's deployment, say) may
    // not even be opened: it is held all the same.
    if (mutex != nullptr || error == ERROR_ACCESS_DENIED) return lock_status::held_elsewhere;
    return lock_status::failed;
}

void win32_platform::mark_window(window_handle window, const std::wstring& name)
{
    SetPropW(reinterpret_cast<HWND>(window), name.c_str(), reinterpret_cast<HANDLE>(1));
}

namespace {

struct marked_search {
    const wchar_t* name;
    HWND found;
};

BOOL CALLBACK find_marked(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<marked_search*>(parameter);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (pid == GetCurrentProcessId() || GetPropW(window, search->name) == nullptr) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

bool win32_platform::bring_marked_window_forward(const std::wstring& name)
{
    marked_search search{name.c_str(), nullptr};
    EnumWindows(&find_marked, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) return false;
    if (IsIconic(search.found)) ShowWindow(search.found, SW_RESTORE);
    // A download window over the dialog is the one that takes the input.
    SetForegroundWindow(GetLastActivePopup(search.found));
    return true;
}

}  // namespace platform
