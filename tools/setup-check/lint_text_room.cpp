// The room the dialog and the download window give their texts: messages,
// captions, rows and the status line, measured in the dialog's font.
#include <cstdint>

#include "base/text.h"
#include "config/reader.h"
#include "download/downloader.h"
#include "engine/format.h"
#include "lint_internal.h"
#include "text_room.h"

namespace setup_check {
namespace lint_detail {

// The dialog's font at 96 dpi decides what its controls hold; a larger
// setting of the system scales the controls and the font alike.
void linter::check_dialog_texts(const TiXmlElement& e)
{
    const std::string font = " in the dialog's font at 96 dpi";
    const std::wstring message = value(e, "dialog_message");
    const int lines = message_lines(message);
    if (!message.empty() && lines > message_line_room())
        warning(place(e, "dialog_message"), "text-room",
                "dialog_message takes " + std::to_string(lines) + " lines" + font + "; the message has room for " +
                    std::to_string(message_line_room()) + ": the rest is hidden behind the buttons");
    // install_wait_caption is the disabled Continue's caption during the run.
    for (const char* name : {"install_caption", "cancel_caption", "install_wait_caption"})
        check_button_caption(e, name, button_text_room());
}

void linter::check_button_caption(const TiXmlElement& e, const char* name, int room)
{
    const int width = text_width(value(e, name), true);
    if (width > room)
        warning(place(e, name), "text-room",
                std::string(name) + " " + quoted(value(e, name)) + " is " + std::to_string(width) +
                    " pixels wide in the dialog's font at 96 dpi; the button has room for " + std::to_string(room) +
                    ": the text fills it or is cut");
}

// While a component is handled, the dialog's message reads
// installing_component_wait with the component's description: it must fit
// the message with the description that takes the most room.
void linter::check_progress_message(const TiXmlElement& e, const TiXmlElement* list)
{
    const char* name = "installing_component_wait";
    const std::wstring wait = value(e, name);
    if (wait.empty()) return;  // the message stays as it is
    check_description_format(e, name);
    std::wstring widest;
    int most = 0;
    for (const TiXmlElement* c = list != nullptr ? list->FirstChildElement() : nullptr; c != nullptr;
         c = c->NextSiblingElement()) {
        const std::wstring description = value(*c, "description");
        const int lines = message_lines(engine::format_with_one_string(wait, description));
        if (lines > most) {
            most = lines;
            widest = description;
        }
    }
    if (most > message_line_room())
        warning(place(e, name), "text-room",
                "installing_component_wait with the description " + quoted(to_utf8(widest)) + " takes " +
                    std::to_string(most) + " lines in the dialog's font at 96 dpi; the message has room for " +
                    std::to_string(message_line_room()) + ": the rest is hidden behind the buttons");
}

// The download window of a run that shows its progress: its text before and
// while the transfer runs, in the window's text box, and its buttons, as
// Setup.exe reads them.
void linter::check_download_window(const TiXmlElement& e)
{
    for (const char* name : {"dialog_message", "dialog_message_downloading"}) {
        const std::wstring text = value(e, name);
        const int lines = download_message_lines(text);
        if (!text.empty() && lines > download_message_line_room())
            warning(place(e, name), "text-room",
                    std::string(name) + " takes " + std::to_string(lines) +
                        " lines in the dialog's font at 96 dpi; the download window's text has room for " +
                        std::to_string(download_message_line_room()) + ": the rest is cut off");
    }
    components::download_dialog_settings read;
    // A faulty downloads element is reported elsewhere; the texts come first.
    static_cast<void>(config::read_download_dialog_node(*reader_, e, read));
    const dialog::download_texts shown = dialog::download_window_texts(read, L"");
    const struct {
        const char* name;
        const std::wstring& fallback;
        bool shows;
    } buttons[] = {{"buttonstart_caption", shown.start, shown.shows_start},
                   {"buttoncancel_caption", shown.cancel, true}};
    check_status_line(e, shown, read);
    for (const auto& b : buttons) {
        if (!b.shows || !has(e, b.name)) continue;
        if (value(e, b.name).empty())
            warning(place(e, b.name), "download-window",
                    std::string(b.name) + " is empty: the download window's button reads " + quoted(b.fallback) +
                        " (write its caption, or leave the attribute out for " + quoted(b.fallback) + ")");
        else
            check_button_caption(e, b.name, download_button_text_room());
    }
}

// A row longer than the list is wide ends in "...": its description, with
// the installed status after it when a check can find the component
// installed, or with required_message while a required one is missing.
void linter::check_row_text(const TiXmlElement& e)
{
    const auto present = [&](const char* name) {
        return has(e, name) && text::ascii_lower(value(e, name)) != L"false";
    };
    if (present("required") && present("primary")) return;  // the product has no row
    const std::wstring description = value(e, "description");
    std::vector<std::pair<std::wstring, std::string>> rows = {{description, "the row "}};
    // A run that shows its progress marks every component it installed so.
    if (e.FirstChildElement("installedcheck") != nullptr || shows_progress_)
        rows.push_back({description + L" " + status_installed_, "when the component is installed, the row "});
    if (present("required"))
        rows.push_back({description + L" " + value(e, "required_message"), "while the component is missing, the row "});
    const int room = row_text_room();
    for (const auto& row : rows) {
        const int width = text_width(row.first, false);
        if (width <= room) continue;
        warning(place(e, "description"), "text-room",
                row.second + quoted(row.first) + " is " + std::to_string(width) + " pixels wide in the dialog's font "
                "at 96 dpi; the list has room for " + std::to_string(room) + ": it is cut and ends in \"...\"");
        return;
    }
}

// The status line under the bar holds one line, cut with "...": each
// item's texts with the widest sizes and places it can show.
void linter::check_status_line(const TiXmlElement& e, const dialog::download_texts& shown,
                               const components::download_dialog_settings& read)
{
    const std::uint64_t widest_size = 1073741823u;  // "1024.00MB", the widest size written in MB
    const int count = static_cast<int>(read.downloads.size());
    for (const char* name : {"progress_text", "progress_text_no_size", "retry_text"}) {
        std::wstring widest;
        int most = 0;
        for (const auto& d : read.downloads) {
            const std::string n = name;
            const std::wstring line =
                n == "retry_text" ? dialog::pause_text(shown, d.componentname, download::attempts_per_item,
                                                       download::attempts_per_item, count, count)
                                  : dialog::progress_text(shown, d.componentname, widest_size,
                                                          n == "progress_text" ? widest_size : 0, count, count);
            const int width = text_width(line, false);
            if (width > most) {
                most = width;
                widest = line;
            }
        }
        if (most > download_status_text_room())
            warning(place(e, name), "text-room",
                    std::string(name) + " reads " + quoted(to_utf8(widest)) + " at its widest, " + std::to_string(most) +
                        " pixels in the dialog's font at 96 dpi; the download window's status line has room for " +
                        std::to_string(download_status_text_room()) + ": its end is cut and shows \"...\"");
    }
}

}  // namespace lint_detail
}  // namespace setup_check
