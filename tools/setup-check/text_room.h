// How much room the installer dialog and the download window give their
// texts: their widths in the dialog font at 96 dpi, and whether each fits
// its control.
#pragma once

#include <string>

namespace setup_check {

// The width in pixels of one line of `text` as a control draws it; with
// `prefixes`, "&x" shows as an underlined x and "&&" as one "&".
int text_width(const std::wstring& text, bool prefixes);

// How many lines the message control wraps `text` into (at blanks, at line
// breaks, and inside a word too long for a line).
int message_lines(const std::wstring& text);
// The same for the download window's text, which shows "&" as written.
int download_message_lines(const std::wstring& text);

// What each control holds.
int message_line_room();   // lines of the message
int button_text_room();    // pixels of a button's text
int row_text_room();       // pixels of a row's text before it is cut
int download_message_line_room();  // lines of the download window's text
int download_button_text_room();   // pixels of its Start and Cancel buttons' text
int download_status_text_room();   // pixels of its status line

}  // namespace setup_check
