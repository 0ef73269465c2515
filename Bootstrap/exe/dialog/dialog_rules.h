// The installer dialog's decisions, apart from any window: which input a
// locked row of the check list swallows, how a row is drawn, and where the
// dialog is placed. The Win32 code maps its messages onto these.
#pragma once

#include <cstdint>
#include <string>

#include "components/downloads.h"

namespace dialog {

// The kinds of input the check list's filter looks at.
enum class list_input {
    mouse_button,  // any button of the mouse, pressed, released or double-clicked
    key,           // a key pressed or released, or a character
    other,
};

// What the list tells the filter about the input's place: the row under
// the pointer (for mouse buttons) or holding the selection mark (for keys),
// -1 for none, and whether that row is locked.
struct row_probe {
    int row = -1;
    bool locked = false;
};

// True when the input must not reach the list: a mouse button on a locked
// row, or the space bar on a locked row that holds the selection mark.
bool filter_swallows(list_input input, bool is_space, const row_probe& probe);

// Custom drawing of the list, stage by stage.
enum class draw_stage { prepaint, item_prepaint, other };
struct draw_decision {
    bool notify_each_item = false;  // ask the list for a notification per row
    bool grey_text = false;         // draw the row's text in the grey text colour
};
draw_decision custom_draw(bool from_checklist, draw_stage stage, bool row_locked);

// Centring a top-level window: its top-left corner, kept inside `area`.
struct rect {
    long left = 0, top = 0, right = 0, bottom = 0;
};
struct point {
    long x = 0, y = 0;
};
point centre_in(const rect& window, const rect& centre, const rect& area);

// The download window's texts: the downloads' own caption, else the
// dialog's; "Start" and "Cancel" for empty captions. The Start button shows
// only when the transfer waits for it.
struct download_texts {
    std::wstring caption;
    std::wstring waiting;      // the text until the transfer starts
    std::wstring downloading;  // the text while it runs
    std::wstring start;
    std::wstring cancel;
    bool shows_start = false;
    // The status line's formats (see components::download_dialog_settings).
    std::wstring progress;
    std::wstring progress_no_size;
    std::wstring retry;
};
download_texts download_window_texts(const components::download_dialog_settings& downloads,
                                     const std::wstring& dialog_caption);

// The progress bar: moving when the server announced no size, otherwise so
// many thousandths of the way.
struct bar_state {
    bool moving = false;
    int thousandths = 0;
};
bar_state progress_bar(std::uint64_t so_far, std::uint64_t announced);

// What the window says while item `index` (1-based) of `count` arrives: by
// default "Foo (1.50KB of 2.00MB) - 1/3", or without a size the server did
// not announce, "Foo (1.50KB) - 1/3".
std::wstring progress_text(const download_texts& texts, const std::wstring& componentname, std::uint64_t so_far,
                           std::uint64_t announced, int index, int count);

// What the window says during the pause before another attempt.
std::wstring pause_text(const download_texts& texts, const std::wstring& componentname, int attempt, int attempts,
                        int index, int count);

}  // namespace dialog
