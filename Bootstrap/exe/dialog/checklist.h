// The decisions of the component check list, apart from any window: which
// rows exist with which text, check and lock, and which input a locked row
// swallows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "config/settings.h"

namespace dialog {

struct checklist_row {
    std::wstring text;
    bool checked = false;
    bool locked = false;
    components::component* owner = nullptr;  // the row's component
};

struct checklist_fill {
    std::vector<checklist_row> rows;
    bool all_installed = true;  // every component that got a row is installed
};

// One row per component, in list order, except those both required and
// primary. Asks each component's installed checks afresh.
checklist_fill fill_checklist(const config::configuration_settings& settings);

// The read-back: each row's component is selected unless its box is
// unchecked (state image 1). Components without a row keep their flag.
// `state_images` holds each row's state image index, in row order.
void read_back_checks(const std::vector<checklist_row>& rows, const std::vector<int>& state_images);

// Window messages the filter looks at (their Windows values).
constexpr std::uint32_t wm_keydown = 0x0100, wm_keyup = 0x0101, wm_char = 0x0102;
constexpr std::uint32_t wm_lbuttondown = 0x0201, wm_lbuttonup = 0x0202, wm_lbuttondblclk = 0x0203;
constexpr std::uint32_t wm_rbuttondown = 0x0204, wm_rbuttonup = 0x0205, wm_rbuttondblclk = 0x0206;
constexpr std::uint32_t wm_mbuttondown = 0x0207, wm_mbuttonup = 0x0208, wm_mbuttondblclk = 0x0209;

bool is_mouse_button_message(std::uint32_t message);
bool is_key_message(std::uint32_t message);

// What the list tells the filter about the message's place: the row under
// the pointer (for mouse buttons) or holding the selection mark (for keys),
// -1 for none, and whether that row is locked.
struct row_probe {
    int row = -1;
    bool locked = false;
};

// True when the message must not reach the list: a mouse button on a locked
// row, or the space bar on a locked row that holds the selection mark.
bool filter_swallows(std::uint32_t message, std::uintptr_t wparam, const row_probe& probe);

// Custom drawing of the list: the answer to a stage, and whether the row's
// text is to be drawn in the grey text colour.
struct draw_decision {
    long result = 0;
    bool grey_text = false;
};
constexpr std::uint32_t cdds_prepaint = 0x1, cdds_itemprepaint = 0x10001;
constexpr long cdrf_dodefault = 0x0, cdrf_notifyitemdraw = 0x20;
draw_decision custom_draw(bool from_checklist, std::uint32_t stage, bool row_locked);

// Centring a top-level window: its top-left corner, kept inside `area`.
struct rect {
    long left = 0, top = 0, right = 0, bottom = 0;
};
struct point {
    long x = 0, y = 0;
};
point centre_in(const rect& window, const rect& centre, const rect& area);

}  // namespace dialog
