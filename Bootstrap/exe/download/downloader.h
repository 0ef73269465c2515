// Fetching a component's files before it runs: the items one after the
// other, each in up to three attempts, each attempt on a thread of its own
// that the installing thread watches. The silent sequence fetches without a
// window; an interactive run that shows its progress, in a window that
// shows each transfer and lets the user cancel.
#pragma once

#include <cstdint>
#include <string>

#include "components/component.h"
#include "platform/platform.h"
#include "base/event_log.h"

namespace download {

constexpr int attempts_per_item = 3;
// An attempt during which nothing arrives for this long has stalled.
constexpr std::uint32_t stall_limit_ms = 30000;
// The pauses before the second and the third attempt.
constexpr std::uint32_t retry_pause_ms[attempts_per_item - 1] = {2000, 4000};

// How one attempt ended.
enum class attempt_end {
    arrived,          // whole, with the expected digest, and moved into place
    refused,          // no connection could be made
    reset,            // the connection broke off
    stalled,          // nothing arrived for stall_limit_ms
    cut_short,        // fewer bytes than the server announced
    too_long,         // more bytes than the server announced
    server_busy,      // HTTP 5xx, 408 or 429
    server_refused,   // any other HTTP status of 400 or more
    digest_mismatch,  // not the file the configuration names
    unreadable,       // the file that arrived cannot be read back
    cancelled,        // the user cancelled it
    failed,           // anything else
};

// Whether an attempt that ended so is followed by another one.
bool worth_retrying(attempt_end end);

// How long a transfer has been quiet at `now`, given the tick of its last
// arrival. An arrival stamped after `now` was read (the transfer's thread
// runs meanwhile) is no quiet at all, not a wrapped-around eternity.
std::uint32_t quiet_time(std::uint32_t last_arrival, std::uint32_t now);

// The name an attempt stores under beside `target` until the file is
// judged: unique to the process and the attempt, so that neither an attempt
// given up on, nor a later fetch of the same target, nor another process
// can write into it.
std::wstring part_file_name(const std::wstring& target, std::uint32_t process_id, std::uint32_t attempt_number);

// The file an item is stored as: its destination folder joined with its
// destinationfilename, or with the name that ends its URL.
std::wstring target_path(const components::download_item& item);

std::wstring format_byte_size(std::uint32_t bytes);
std::wstring file_name_from_url(const std::wstring& url);

// What the person watching a component's downloads sees and does. The
// installing thread calls it between the waits, which serve the window's
// messages meanwhile; the transfers themselves never wait for it.
class progress_view {
public:
    virtual ~progress_view() = default;
    // False when the window could not be made, with the system's error code
    // (0: none known): the downloads then fail, as nobody could cancel them.
    virtual bool usable(std::uint32_t& error)
    {
        error = 0;
        return true;
    }
    // Before the first transfer: true at once, or once the user has pressed
    // Start when the window asks for it; false when the user cancelled.
    virtual bool go_ahead() = 0;
    // A transfer of item `index` of `count` is under way: so many bytes so
    // far, of the size announced (0: none announced).
    virtual void transferring(const components::download_item& item, int index, int count, std::uint64_t so_far,
                              std::uint64_t announced) = 0;
    // The pause before attempt `attempt` (2 or more) of item `index`.
    virtual void pausing(const components::download_item& item, int index, int count, int attempt) = 0;
    // True once the user has cancelled (Cancel, Esc, or closing the window).
    virtual bool cancelled() = 0;
};

// True when the component has nothing to fetch or every item arrived. The
// first item that does not arrive ends the downloads; the files that did
// arrive stay. The log is told each item and each attempt. With a view, the
// waits serve window messages and the user may cancel: the transfer is given
// up at once, without a further attempt, and leaves no file of its own. A
// view whose window could not be made fails the downloads, with a log line.
// `why_not`, when given, is told why the files did not arrive, in words
// for the user ("could not connect to the server").
bool download_component_files(platform::platform& sys, base::event_log& log, components::component& c,
                              progress_view* view = nullptr, std::wstring* why_not = nullptr);

// Why an attempt that ended so kept its file from arriving, in words for the
// user; `http_status` is the server's answer.
std::wstring failure_reason(attempt_end end, std::uint32_t http_status);

}  // namespace download
