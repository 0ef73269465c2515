// What the installer dialog gives its texts at 96 dpi, in its font (the
// "MS Shell Dlg" of a DS_SHELLFONT template: Tahoma, 8 pt, 13 pixels a
// line), in pixels. Measured in the dialog itself under Wine with Wine's
// Tahoma; the end-to-end case dialog_room_of_the_texts measures again and
// fails, printing the new numbers, when the dialog or its font changes.
#pragma once

namespace setup_check::dialog_room {

constexpr int line_height = 13;
constexpr int message_width = 170;   // the message's client area
constexpr int message_height = 67;
constexpr int button_width = 90;    // the Continue and Exit buttons
constexpr int label_width = 221;     // the label part of a row (after its check box)

// The font's dialog base units: the average width of A-Z and a-z rounded as
// Windows rounds it (330 / 52 pixels: 6), and the line height. A template's
// x and width are quarters of the first, y and height eighths of the second
// (MapDialogRect: MulDiv(units, base, 4 or 8)): the message's 113 x 41
// units in setup.rc are the 170 x 67 pixels above, a button's 60 units 90.
constexpr int base_unit_x = 6;
constexpr int base_unit_y = 13;

// The download window (IDD_DOWNLOAD in Bootstrap/exe/resources/setup.rc,
// the same font), converted from its template with those base units: its
// text IDC_DOWNLOAD_MESSAGE, 248 x 26 units, and the Start and Cancel
// buttons, 50 units wide. The checker's tests read the template and fail
// when these no longer follow from it.
constexpr int download_message_width = 372;
constexpr int download_message_height = 42;
constexpr int download_button_width = 75;
// Its status line under the bar, IDC_DOWNLOAD_STATUS: one line, 248 units.
constexpr int download_status_width = 372;

// The advance of each character from U+0020 to U+017F.
constexpr unsigned char char_widths[0x160] = {
     3,  3,  5,  8,  6, 12,  8,  3,  4,  4,  7,  9,  3,  4,  3,  4,  // U+0020
     6,  6,  6,  6,  6,  6,  6,  6,  6,  6,  3,  4,  8,  8,  8,  5,  // U+0030
    10,  7,  7,  7,  7,  6,  6,  7,  8,  4,  5,  7,  6,  9,  8,  8,  // U+0040
     6,  8,  7,  6,  7,  7,  7, 10,  6,  7,  7,  4,  4,  4,  8,  6,  // U+0050
     6,  7,  6,  6,  7,  7,  4,  7,  7,  3,  3,  6,  3,  9,  7,  6,  // U+0060
     6,  7,  4,  5,  4,  7,  5,  8,  5,  5,  6,  5,  5,  5,  9,  5,  // U+0070
    11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11,  // U+0080
    11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11,  // U+0090
     3,  3,  6,  6,  6,  6,  5,  6,  5, 11,  6,  7,  8,  4, 10,  6,  // U+00A0
     5,  8,  6,  5,  6,  7,  7,  3,  6,  5,  5,  7, 11, 11, 11,  6,  // U+00B0
     7,  7,  7,  7,  7,  7, 10,  7,  6,  6,  6,  6,  4,  4,  4,  4,  // U+00C0
     7,  8,  8,  8,  8,  8,  8,  8,  8,  7,  7,  7,  7,  7,  6,  6,  // U+00D0
     7,  7,  7,  7,  7,  7, 10,  6,  7,  7,  7,  7,  3,  3,  3,  3,  // U+00E0
     6,  7,  6,  6,  6,  6,  6,  7,  6,  7,  7,  7,  7,  5,  6,  5,  // U+00F0
     7,  7,  7,  7,  7,  7,  7,  6,  7,  6,  7,  6,  7,  6,  7,  8,  // U+0100
     7,  7,  6,  7,  6,  7,  6,  7,  6,  7,  6,  7,  7,  7,  7,  7,  // U+0110
     7,  7,  7,  7,  8,  7,  7,  6,  4,  3,  4,  3,  5,  3,  4,  3,  // U+0120
     4,  3, 11, 11, 11, 11, 11, 11, 11,  6,  3, 11, 11,  6,  3, 11,  // U+0130
    11,  6,  3,  8,  7, 11, 11,  8,  7, 11, 11, 11, 11, 11, 11, 11,  // U+0140
     8,  6, 11, 11,  7,  4, 11, 11,  7,  4,  6,  5, 11, 11,  6,  5,  // U+0150
     6,  5,  7,  4,  7,  4, 11, 11, 11, 11,  7,  7, 11, 11,  7,  7,  // U+0160
     7,  7,  7,  7, 11, 11, 11, 11,  6,  7,  6,  7,  5,  7,  6, 11,  // U+0170
};

}  // namespace setup_check::dialog_room
