#include "text_room.h"


#include "dialog_room.h"

namespace setup_check {

namespace {

// A character's advance; the table holds U+0020 to U+017F. Beyond it,
// Windows takes the glyphs from a linked font: CJK and full-width forms are
// about as wide as the line is high, the others counted as an "o".
int char_width(wchar_t c)
{
    if (c >= 0x20 && c < 0x180) return dialog_room::char_widths[c - 0x20];
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFF00 && c <= 0xFF60);
    if (wide) return dialog_room::line_height - 1;
    if (c < 0x20) return 0;
    return dialog_room::char_widths[L'o' - 0x20];
}

// The characters a control draws: "&x" is x, "&&" is "&".
std::wstring drawn(const std::wstring& text, bool prefixes)
{
    if (!prefixes) return text;
    std::wstring out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == L'&' && i + 1 < text.size()) ++i;
        else if (text[i] == L'&') continue;
        out.push_back(text[i]);
    }
    return out;
}

int width_of(const std::wstring& shown)
{
    int w = 0;
    for (wchar_t c : shown) w += char_width(c);
    return w;
}

// The lines of one paragraph wrapped into `room` pixels.
int paragraph_lines(const std::wstring& p, int room)
{
    int lines = 1;
    int used = 0;  // width of the current line
    std::size_t i = 0;
    while (i < p.size()) {
        std::size_t end = i;
        while (end < p.size() && p[end] != L' ') ++end;
        const int word = width_of(p.substr(i, end - i));
        const int gap = used > 0 ? char_width(L' ') : 0;
        if (used > 0 && used + gap + word > room) {
            ++lines;
            used = 0;
        } else {
            used += gap;
        }
        // A word wider than a whole line is broken between its characters.
        for (std::size_t k = i; k < end; ++k) {
            const int w = char_width(p[k]);
            if (used > 0 && used + w > room) {
                ++lines;
                used = 0;
            }
            used += w;
        }
        i = end;
        while (i < p.size() && p[i] == L' ') ++i;
    }
    return lines;
}

// The lines of `text` wrapped into `room` pixels, paragraph by paragraph.
int wrapped_lines(const std::wstring& text, int room, bool prefixes)
{
    const std::wstring shown = drawn(text, prefixes);
    int lines = 0;
    std::size_t start = 0;
    while (true) {
        std::size_t cut = shown.find(L'\n', start);
        std::wstring p = shown.substr(start, cut == std::wstring::npos ? std::wstring::npos : cut - start);
        if (!p.empty() && p.back() == L'\r') p.pop_back();
        lines += paragraph_lines(p, room);
        if (cut == std::wstring::npos) break;
        start = cut + 1;
    }
    return lines;
}

// A push button draws its text inside its 2-pixel edge and the focus
// rectangle within it.
int button_room(int button_width) { return button_width - 8; }

}  // namespace

int text_width(const std::wstring& text, bool prefixes) { return width_of(drawn(text, prefixes)); }

int message_lines(const std::wstring& text) { return wrapped_lines(text, dialog_room::message_width, true); }

int download_message_lines(const std::wstring& text)
{
    return wrapped_lines(text, dialog_room::download_message_width, false);
}

int message_line_room() { return dialog_room::message_height / dialog_room::line_height; }

int button_text_room() { return button_room(dialog_room::button_width); }

// A row's label keeps 2 pixels free on either side of its text.
int row_text_room() { return dialog_room::label_width - 4; }

int download_message_line_room() { return dialog_room::download_message_height / dialog_room::line_height; }

int download_button_text_room() { return button_room(dialog_room::download_button_width); }

int download_status_text_room() { return dialog_room::download_status_width; }

}  // namespace setup_check
