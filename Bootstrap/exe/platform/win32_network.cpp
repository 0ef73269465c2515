#include "platform/win32_platform.h"

#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <atomic>
#include <memory>

#include "base/read_size.h"
#include "platform/win32_api.h"
#include "platform/win32_part_file.h"

namespace platform {

namespace {

// A transfer waits this long on a quiet network before it gives up by
// itself. Whoever watches a transfer decides sooner when it has stalled;
// this only makes sure that a transfer given up on still ends.
constexpr DWORD network_wait_ms = 45000;

struct internet_api : win32::system_api<internet_api> {
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

// URL monikers: the user agent of the system's web components, and the
// transfers of addresses that are not HTTP.
struct urlmon_api : win32::system_api<urlmon_api> {
    static constexpr const wchar_t* dll = L"urlmon.dll";
    decltype(&ObtainUserAgentString) obtain_user_agent = nullptr;
    decltype(&URLDownloadToFileW) download_to_file = nullptr;

    void bind(HMODULE m)
    {
        find(m, obtain_user_agent, "ObtainUserAgentString");
        find(m, download_to_file, "URLDownloadToFileW");
    }
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
    return win32::built_once<std::wstring>([] {
        const auto obtain = urlmon_api::get().obtain_user_agent;
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

// The parts of an address, pointing into it; false when it is no address.
bool crack_address(const internet_api& net, const std::wstring& url, URL_COMPONENTSW& parts)
{
    ZeroMemory(&parts, sizeof parts);
    parts.dwStructSize = sizeof parts;
    parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = 1;
    parts.dwUserNameLength = parts.dwPasswordLength = 1;
    return net.crack(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) != FALSE;
}

// A GET request and the handles it hangs on, closed from the request up.
struct http_request {
    internet_handle session;
    internet_handle connection;
    internet_handle request;
};

// False when a handle could not be opened; the system's error is then the
// thread's last error.
bool open_request(const internet_api& net, const URL_COMPONENTSW& parts, http_request& h)
{
    const std::wstring host = part_of(parts.lpszHostName, parts.dwHostNameLength);
    std::wstring path = part_of(parts.lpszUrlPath, parts.dwUrlPathLength) +
                        part_of(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (path.empty()) path = L"/";
    const std::wstring user = part_of(parts.lpszUserName, parts.dwUserNameLength);
    const std::wstring password = part_of(parts.lpszPassword, parts.dwPasswordLength);
    h.session.reset(net.open(user_agent().c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!h.session) return false;
    h.connection.reset(net.connect(h.session.get(), host.c_str(), parts.nPort, user.empty() ? nullptr : user.c_str(),
                                   password.empty() ? nullptr : password.c_str(), INTERNET_SERVICE_HTTP, 0, 0));
    if (!h.connection) return false;
    const wchar_t* accept[] = {L"*/*", nullptr};
    DWORD flags = INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_UI;
    if (parts.nScheme == INTERNET_SCHEME_HTTPS) flags |= INTERNET_FLAG_SECURE;
    h.request.reset(net.open_request(h.connection.get(), L"GET", path.c_str(), nullptr, nullptr, accept, flags, 0));
    if (!h.request) return false;
    DWORD wait = network_wait_ms;
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_SEND_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT})
        net.set_option(h.request.get(), option, &wait, sizeof wait);
    return true;
}

// Sends the request and reads the answer's status and announced size into
// `r`; false, with the failure in `r`, when no answer came.
bool send_request(const internet_api& net, HINTERNET request, transfer_result& r)
{
    if (!net.send(request, nullptr, 0, nullptr, 0)) {
        const DWORD error = GetLastError();
        r = failure(internet_failure(error), error);
        return false;
    }
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD index = 0;
    // An answer without a status line is a connection that broke off.
    if (!net.query(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &index) || status == 0) {
        r = failure(transfer_status::connection_lost, GetLastError());
        return false;
    }
    r.http_status = status;
    wchar_t length[32] = {};
    size = sizeof length - sizeof(wchar_t);
    index = 0;
    if (net.query(request, HTTP_QUERY_CONTENT_LENGTH, length, &size, &index)) r.announced = decimal_value(length);
    return true;
}

// Reads the answer's body into a new file at `target`, kept only when all
// of it arrived; `r` holds what the answer's headers told.
transfer_result receive_body(const internet_api& net, HINTERNET request, const std::wstring& target,
                             transfer_sink& sink, transfer_result r)
{
    win32::partial_file file(target);
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
        if (!net.available(request, &available, 0, 0) ||
            !net.read(request, chunk.data(), base::read_size(available, static_cast<DWORD>(chunk.size())), &got)) {
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

// HTTP and HTTPS through WinINet: the transfer's own timeouts keep it from
// hanging for ever, and the file is written here, so that a transfer given
// up on leaves nothing behind.
transfer_result http_download(const std::wstring& url, const std::wstring& target, transfer_sink& sink)
{
    const internet_api& net = internet_api::get();
    if (!net.usable()) return failure(transfer_status::failed, ERROR_PROC_NOT_FOUND);
    URL_COMPONENTSW parts;
    if (!crack_address(net, url, parts)) return failure(transfer_status::failed, GetLastError());
    http_request handles;
    if (!open_request(net, parts, handles)) return failure(transfer_status::failed, GetLastError());
    transfer_result r;
    if (!send_request(net, handles.request.get(), r)) return r;
    // The answer's headers have arrived.
    if (!sink.on_bytes(0, r.announced)) return failure(transfer_status::cancelled, 0);
    if (r.http_status >= 400) {
        r.status = transfer_status::completed;
        return r;
    }
    return receive_body(net, handles.request.get(), target, sink, r);
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

using moniker_download_fn = decltype(&URLDownloadToFileW);

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
    const moniker_download_fn download = urlmon_api::get().download_to_file;
    if (download == nullptr) return failure(transfer_status::failed, static_cast<DWORD>(E_NOTIMPL));
    const auto state = std::make_shared<moniker_state>(url, target);
    const win32::kernel_handle thread(win32::begin_thread([state, download] { run_moniker(*state, download); }));
    if (!thread) return failure(transfer_status::failed, GetLastError());

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

transfer_result win32_platform::download_url(const std::wstring& url, const std::wstring& target,
                                             transfer_sink& sink)
{
    return is_http(url) ? http_download(url, target, sink) : moniker_download(url, target, sink);
}

}  // namespace platform

HMODULE win32::internet_module() { return platform::internet_api::get().module; }
