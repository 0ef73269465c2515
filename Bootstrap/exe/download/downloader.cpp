#include "download/downloader.h"

#include <atomic>
#include <memory>

#include "base/paths.h"
#include "base/text.h"
#include "platform/process.h"
#include "platform/system_error.h"

namespace download {

namespace {

// `bytes` / `unit` with two decimals, rounded to nearest and, on an exact
// tie, to the even last digit, as printf rounds its "%.2f".
std::wstring two_decimals(std::uint32_t bytes, std::uint64_t unit)
{
    const std::uint64_t scaled = static_cast<std::uint64_t>(bytes) * 100u;
    std::uint64_t hundredths = scaled / unit;
    const std::uint64_t rest = scaled % unit;
    if (rest * 2 > unit || (rest * 2 == unit && hundredths % 2 == 1)) ++hundredths;
    const std::uint64_t fraction = hundredths % 100;
    return text::decimal(hundredths / 100) + L'.' + (fraction < 10 ? L"0" : L"") + text::decimal(fraction);
}

bool digest_is(platform::platform& sys, const std::wstring& path, const std::wstring& expected, bool& readable)
{
    std::uint8_t digest[32];
    readable = sys.file_sha256(path, digest);
    if (!readable) return false;
    static const wchar_t hex[] = L"0123456789abcdef";
    std::wstring actual;
    for (std::uint8_t b : digest) {
        actual.push_back(hex[b >> 4]);
        actual.push_back(hex[b & 0xF]);
    }
    return actual == expected;
}

// What the thread that runs a transfer shares with the thread that watches
// it. The watcher may give up on the transfer and go on; the transfer's
// thread then still holds its own reference until it ends.
struct attempt_state : platform::transfer_sink {
    explicit attempt_state(platform::platform& sys) : sys(sys), last_arrival(sys.tick_count()) {}

    bool on_bytes(std::uint64_t stored, std::uint64_t size) override
    {
        // For the window only: counts beyond 4 GB show as 4 GB.
        so_far = static_cast<std::uint32_t>(stored < 0xFFFFFFFFu ? stored : 0xFFFFFFFFu);
        announced = static_cast<std::uint32_t>(size < 0xFFFFFFFFu ? size : 0xFFFFFFFFu);
        last_arrival = sys.tick_count();
        return !abandoned;
    }

    platform::platform& sys;
    std::atomic<std::uint32_t> last_arrival;
    std::atomic<std::uint32_t> so_far{0};
    std::atomic<std::uint32_t> announced{0};
    std::atomic<bool> abandoned{false};
    platform::transfer_result result;  // written by the transfer's thread before it ends
};

// Which item of how many, and who watches: for the window.
struct item_place {
    const components::download_item& item;
    int index;  // 1-based
    int count;
    progress_view* view;  // none: no window
};

attempt_end judge_http_status(std::uint32_t status)
{
    if (status >= 500 || status == 408 || status == 429) return attempt_end::server_busy;
    return attempt_end::server_refused;
}

// How the transfer itself ended, before the file is looked at.
attempt_end judge_transfer(const platform::transfer_result& r)
{
    switch (r.status) {
    case platform::transfer_status::completed:
        return r.http_status >= 400 ? judge_http_status(r.http_status) : attempt_end::arrived;
    case platform::transfer_status::cannot_connect:
        return attempt_end::refused;
    case platform::transfer_status::connection_lost:
        return attempt_end::reset;
    case platform::transfer_status::timed_out:
        return attempt_end::stalled;
    default:
        return attempt_end::failed;
    }
}

// The stored file against what was promised: the announced size, and the
// configured digest. `size` is the size stored, for the report.
attempt_end judge_file(platform::platform& sys, const components::download_item& item, const std::wstring& file,
                       std::uint64_t announced, std::uint64_t& size)
{
    if (!sys.file_size(file, size)) return attempt_end::failed;
    if (announced != 0 && size < announced) return attempt_end::cut_short;
    if (item.sha256.empty()) return attempt_end::arrived;
    bool readable = false;
    if (digest_is(sys, file, item.sha256, readable)) return attempt_end::arrived;
    return readable ? attempt_end::digest_mismatch : attempt_end::unreadable;
}

// How one attempt went, for the judgement and the log.
struct attempt_report {
    attempt_end end = attempt_end::failed;
    platform::transfer_result transfer;
    std::uint64_t size = 0;  // of the file stored
};

// How often a window sees the transfer's numbers, and may cancel it.
constexpr std::uint32_t view_interval_ms = 100;

// One transfer into `file`, on a thread of its own. The wait is the
// installing thread's: it does not rely on the transfer calling back, so a
// transfer that hangs without a word still counts as stalled. The thread
// and its transfer share only `state`, which the transfer's thread holds
// until it ends: the process-wide platform outlives it, being never
// destroyed.
attempt_report run_attempt(platform::platform& sys, const item_place& at, const std::wstring& file)
{
    attempt_report report;
    const std::shared_ptr<attempt_state> state(new attempt_state(sys));
    platform::thread_handle handle = 0;
    const std::wstring url = at.item.sourceurl;
    if (!sys.start_thread([state, url, file] { state->result = state->sys.download_url(url, file, *state); },
                          handle))
        return report;
    const platform::owned_thread thread(sys, handle);

    report.end = attempt_end::stalled;
    for (;;) {
        const std::uint32_t quiet = sys.tick_count() - state->last_arrival;
        if (quiet >= stall_limit_ms) break;
        const std::uint32_t left = stall_limit_ms - quiet;
        const platform::wait_result w = at.view != nullptr
                                            ? sys.wait_thread_pumping(handle, left < view_interval_ms ? left : view_interval_ms)
                                            : sys.wait_thread(handle, left);
        if (w == platform::wait_result::timeout && at.view != nullptr) {
            at.view->transferring(at.item, at.index, at.count, state->so_far, state->announced);
            if (at.view->cancelled()) {
                report.end = attempt_end::cancelled;
                break;
            }
        }
        if (w == platform::wait_result::ended) {
            report.transfer = state->result;
            report.end = judge_transfer(report.transfer);
            if (report.end == attempt_end::arrived)
                report.end = judge_file(sys, at.item, file, report.transfer.announced, report.size);
            break;
        }
        if (w == platform::wait_result::failed) {
            report.end = attempt_end::failed;
            break;
        }
    }
    // A transfer given up on stops at its next arrival and never reaches the
    // item's own file: only the installing thread moves a file into place.
    state->abandoned = true;
    return report;
}

// The pause before another attempt; false when the user cancelled meanwhile.
bool pause_before(platform::platform& sys, const item_place& at, int attempt)
{
    const std::uint32_t pause = retry_pause_ms[attempt - 2];
    if (at.view == nullptr) {
        sys.sleep(pause);
        return true;
    }
    at.view->pausing(at.item, at.index, at.count, attempt);
    for (std::uint32_t waited = 0; waited < pause; waited += view_interval_ms) {
        if (at.view->cancelled()) return false;
        sys.sleep_pumping(view_interval_ms);
    }
    return !at.view->cancelled();
}

std::wstring size_text(std::uint64_t bytes)
{
    const std::wstring exact = text::decimal(bytes) + L" bytes";
    return bytes <= 0xFFFFFFFFu ? format_byte_size(static_cast<std::uint32_t>(bytes)) + L" (" + exact + L")" : exact;
}

std::wstring report_text(platform::system_facts& facts, const attempt_report& r, const components::download_item& item)
{
    const std::wstring code = r.transfer.code != 0 ? L" (" + platform::describe_error(facts, r.transfer.code) + L")" : L"";
    const std::wstring http = r.transfer.http_status != 0 ? L"HTTP " + text::decimal(r.transfer.http_status) + L", " : L"";
    switch (r.end) {
    case attempt_end::arrived:
        return http + L"arrived: " + size_text(r.size) + (item.sha256.empty() ? L"" : L", sha256 matches");
    case attempt_end::refused:
        return L"no connection" + code;
    case attempt_end::reset:
        return L"the connection broke off" + code;
    case attempt_end::stalled:
        return L"nothing arrived for " + text::decimal(stall_limit_ms / 1000) + L" s";
    case attempt_end::cut_short:
        return http + L"cut short: " + text::decimal(r.size) + L" of " + text::decimal(r.transfer.announced) +
               L" bytes announced";
    case attempt_end::server_busy:
    case attempt_end::server_refused:
        return L"HTTP " + text::decimal(r.transfer.http_status);
    case attempt_end::digest_mismatch:
        return http + size_text(r.size) + L" arrived, but its sha256 differs";
    case attempt_end::unreadable:
        return http + L"the file that arrived cannot be read back";
    case attempt_end::cancelled:
        return L"cancelled by the user";
    default:
        return L"failed" + code;
    }
}

bool fetch_item(platform::platform& sys, base::event_log& log, const item_place& at)
{
    const components::download_item& item = at.item;
    const std::wstring target = target_path(item);
    log.write(L"download \"" + item.componentname + L"\": " + item.sourceurl + L" to " + target);
    sys.create_directory(item.destinationpath);
    // A URL that ends in a separator names no file: the target would be the
    // folder itself, which nothing can be stored as.
    if (target.empty() || target.back() == L'\\' || target.back() == L'/') {
        log.write(L"download failed: the address names no file");
        return false;
    }
    for (int attempt = 1; attempt <= attempts_per_item; ++attempt) {
        if (attempt > 1 && !pause_before(sys, at, attempt)) {
            log.write(L"download cancelled by the user before attempt " +
                      text::decimal(static_cast<std::uint64_t>(attempt)));
            return false;
        }
        // Each attempt stores under its own name beside the target, so that
        // an attempt given up on can never mix with the next one or leave a
        // partial file under the item's own name.
        const std::wstring part = target + L"." + text::decimal(static_cast<std::uint64_t>(attempt)) + L".part";
        const attempt_report report = run_attempt(sys, at, part);
        log.write(L"attempt " + text::decimal(static_cast<std::uint64_t>(attempt)) + L": " + report_text(sys, report, item));
        if (report.end == attempt_end::arrived) {
            if (sys.move_file(part, target)) return true;
            sys.delete_file(part);
            log.write(L"download failed: the file cannot take its name");
            return false;
        }
        sys.delete_file(part);
        if (!worth_retrying(report.end)) break;
    }
    log.write(L"download failed");
    return false;
}

}  // namespace

bool worth_retrying(attempt_end end)
{
    switch (end) {
    case attempt_end::refused:
    case attempt_end::reset:
    case attempt_end::stalled:
    case attempt_end::cut_short:
    case attempt_end::server_busy:
        return true;
    default:
        return false;
    }
}

std::wstring format_byte_size(std::uint32_t bytes)
{
    if (bytes < 1024u) return text::decimal(bytes);
    if (bytes < 1048576u) return two_decimals(bytes, 1024u) + L"KB";
    if (bytes < 1073741824u) return two_decimals(bytes, 1048576u) + L"MB";
    return two_decimals(bytes, 1073741824u) + L"GB";
}

std::wstring file_name_from_url(const std::wstring& url) { return base::last_path_part(url); }

std::wstring target_path(const components::download_item& item)
{
    const std::wstring name =
        item.destinationfilename.empty() ? file_name_from_url(item.sourceurl) : item.destinationfilename;
    return base::combine_path(item.destinationpath, name);
}

bool download_component_files(platform::platform& sys, base::event_log& log, components::component& c,
                              progress_view* view)
{
    if (!c.has_download_dialog) return true;
    if (view != nullptr && !view->go_ahead()) {
        log.write(L"downloads of \"" + c.description + L"\" cancelled by the user before they started");
        return false;
    }
    const auto& items = c.download_dialog.downloads;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (!fetch_item(sys, log, item_place{items[i], static_cast<int>(i) + 1, static_cast<int>(items.size()), view}))
            return false;
    return true;
}

}  // namespace download
