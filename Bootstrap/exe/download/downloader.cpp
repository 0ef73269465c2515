#include "download/downloader.h"

#include <atomic>
#include <functional>
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
    if (announced != 0 && size > announced) return attempt_end::too_long;
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

// Numbers the attempts of the whole process, for their part files' names.
std::atomic<std::uint32_t> attempts_started{0};

bool cancelled(const item_place& at) { return at.view != nullptr && at.view->cancelled(); }

// Runs `work` to its end. With a window it runs on a thread of its own
// while the waits serve the windows' messages, so that the digest of a
// large file freezes neither window; without one, or without a thread, it
// runs here.
void run_serving_windows(platform::platform& sys, const item_place& at, const std::function<void()>& work)
{
    platform::thread_handle handle = 0;
    if (at.view == nullptr || !sys.start_thread(work, handle)) {
        work();
        return;
    }
    const platform::owned_thread thread(sys, handle);
    platform::wait_result w = platform::wait_result::timeout;
    while (w == platform::wait_result::timeout) w = sys.wait_thread_pumping(handle, view_interval_ms);
    // `work` refers to the caller's objects: it must end before they go.
    if (w == platform::wait_result::failed) sys.wait_thread(handle, 0xFFFFFFFFu);
}

// One transfer into `file`, on a thread of its own. The wait is the
// installing thread's: it does not rely on the transfer calling back, so a
// transfer that hangs without a word still counts as stalled. The thread
// and its transfer share only `state`, which the transfer's thread holds
// until it ends: the process-wide platform outlives it, being never
// destroyed. The user is asked after every wait, so that a Cancel served in
// the wait in which the transfer ended still holds.
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
        // The arrival first: read after the clock, a fresh one would look
        // like a quiet of 49 days.
        const std::uint32_t last = state->last_arrival;
        const std::uint32_t quiet = quiet_time(last, sys.tick_count());
        if (quiet >= stall_limit_ms) break;
        const std::uint32_t left = stall_limit_ms - quiet;
        const platform::wait_result w = at.view != nullptr
                                            ? sys.wait_thread_pumping(handle, left < view_interval_ms ? left : view_interval_ms)
                                            : sys.wait_thread(handle, left);
        if (w == platform::wait_result::timeout && at.view != nullptr)
            at.view->transferring(at.item, at.index, at.count, state->so_far, state->announced);
        if (cancelled(at)) {
            report.end = attempt_end::cancelled;
            break;
        }
        if (w == platform::wait_result::ended) {
            report.transfer = state->result;
            report.end = judge_transfer(report.transfer);
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

// The file of a transfer that ended well, judged; a Cancel served meanwhile
// makes the attempt cancelled, whatever the file.
void judge_arrival(platform::platform& sys, const item_place& at, const std::wstring& file, attempt_report& report)
{
    if (report.end != attempt_end::arrived) return;
    run_serving_windows(sys, at, [&] {
        report.end = judge_file(sys, at.item, file, report.transfer.announced, report.size);
    });
    if (cancelled(at)) report.end = attempt_end::cancelled;
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
    case attempt_end::too_long:
        return http + L"too long: " + text::decimal(r.size) + L" bytes, " + text::decimal(r.transfer.announced) +
               L" announced";
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

// Writes why the item did not arrive to the log, and keeps it for the user.
bool failed_because(base::event_log& log, std::wstring& why_not, const std::wstring& reason)
{
    log.write(L"download failed: " + reason);
    why_not = reason;
    return false;
}

bool fetch_item(platform::platform& sys, base::event_log& log, const item_place& at, std::wstring& why_not)
{
    const components::download_item& item = at.item;
    const std::wstring target = target_path(item);
    log.write(L"download \"" + item.componentname + L"\": " + item.sourceurl + L" to " + target);
    sys.create_directory(item.destinationpath);
    // A URL that ends in a separator names no file: the target would be the
    // folder itself, which nothing can be stored as.
    if (target.empty() || target.back() == L'\\' || target.back() == L'/') {
        return failed_because(log, why_not, L"the address names no file");
    }
    attempt_report last;
    for (int attempt = 1; attempt <= attempts_per_item; ++attempt) {
        if (cancelled(at) || (attempt > 1 && !pause_before(sys, at, attempt))) {
            log.write(L"download cancelled by the user before attempt " +
                      text::decimal(static_cast<std::uint64_t>(attempt)));
            why_not = failure_reason(attempt_end::cancelled, 0);
            return false;
        }
        const std::wstring part = part_file_name(target, sys.process_id(), ++attempts_started);
        attempt_report report = run_attempt(sys, at, part);
        judge_arrival(sys, at, part, report);
        log.write(L"attempt " + text::decimal(static_cast<std::uint64_t>(attempt)) + L": " + report_text(sys, report, item));
        if (report.end == attempt_end::arrived) {
            bool moved = false;
            run_serving_windows(sys, at, [&] { moved = sys.move_file(part, target); });
            if (moved) return true;
            sys.delete_file(part);
            return failed_because(log, why_not, L"the file could not be stored under its name");
        }
        sys.delete_file(part);
        last = report;
        if (!worth_retrying(report.end)) break;
    }
    return failed_because(log, why_not, failure_reason(last.end, last.transfer.http_status));
}

}  // namespace

bool worth_retrying(attempt_end end)
{
    switch (end) {
    case attempt_end::refused:
    case attempt_end::reset:
    case attempt_end::stalled:
    case attempt_end::cut_short:
    case attempt_end::too_long:
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

std::uint32_t quiet_time(std::uint32_t last_arrival, std::uint32_t now)
{
    const std::uint32_t quiet = now - last_arrival;
    return quiet > 0x7FFFFFFFu ? 0 : quiet;
}

std::wstring part_file_name(const std::wstring& target, std::uint32_t process_id, std::uint32_t attempt_number)
{
    return target + L"." + text::decimal(process_id) + L"." + text::decimal(attempt_number) + L".part";
}

std::wstring target_path(const components::download_item& item)
{
    const std::wstring name =
        item.destinationfilename.empty() ? file_name_from_url(item.sourceurl) : item.destinationfilename;
    return base::combine_path(item.destinationpath, name);
}

bool download_component_files(platform::platform& sys, base::event_log& log, components::component& c,
                              progress_view* view, std::wstring* why_not)
{
    if (!c.has_download_dialog) return true;
    std::wstring reason;
    std::uint32_t error = 0;
    bool arrived = true;
    if (view != nullptr && !view->usable(error)) {
        log.write(L"downloads of \"" + c.description + L"\" failed: the download window cannot be made" +
                  (error != 0 ? L" (" + platform::describe_error(sys, error) + L")" : std::wstring()));
        reason = L"the download window could not be opened";
        arrived = false;
    } else if (view != nullptr && !view->go_ahead()) {
        log.write(L"downloads of \"" + c.description + L"\" cancelled by the user before they started");
        reason = failure_reason(attempt_end::cancelled, 0);
        arrived = false;
    }
    const auto& items = c.download_dialog.downloads;
    for (std::size_t i = 0; arrived && i < items.size(); ++i)
        arrived = fetch_item(sys, log, item_place{items[i], static_cast<int>(i) + 1, static_cast<int>(items.size()), view},
                             reason);
    if (!arrived && why_not != nullptr) *why_not = reason;
    return arrived;
}

std::wstring failure_reason(attempt_end end, std::uint32_t http_status)
{
    switch (end) {
    case attempt_end::refused:
        return L"could not connect to the server";
    case attempt_end::reset:
        return L"the connection to the server broke off";
    case attempt_end::stalled:
        return L"the server sent nothing for " + text::decimal(stall_limit_ms / 1000) + L" s";
    case attempt_end::cut_short:
        return L"the server sent less than it announced";
    case attempt_end::too_long:
        return L"the server sent more than it announced";
    case attempt_end::server_busy:
    case attempt_end::server_refused:
        return L"the server answered " + text::decimal(http_status);
    case attempt_end::digest_mismatch:
        return L"the file did not match its digest";
    case attempt_end::unreadable:
        return L"the file that arrived could not be read";
    case attempt_end::cancelled:
        return L"the download was cancelled";
    default:
        return L"the download failed";
    }
}

}  // namespace download
