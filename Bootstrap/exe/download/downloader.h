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
    server_busy,      // HTTP 5xx, 408 or 429
    server_refused,   // any other HTTP status of 400 or more
    digest_mismatch,  // not the file the configuration names
    unreadable,       // the file that arrived cannot be read back
    cancelled,        // the user cancelled it
    failed,           // anything else
};

// Whether an attempt that ended so is followed by another one.
bool worth_retrying(attempt_end end);

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
// up at once, without a further attempt, and leaves no file of its own.
bool download_component_files(platform::platform& sys, base::event_log& log, components::component& c,
                              progress_view* view = nullptr);

}  // namespace download
