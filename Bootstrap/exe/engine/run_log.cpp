#include "engine/run_log.h"

#include "base/text.h"

namespace engine {

using platform::box_answer;
using platform::box_buttons;
using platform::box_icon;

namespace {

std::string two(unsigned n) { return {static_cast<char>('0' + n / 10 % 10), static_cast<char>('0' + n % 10)}; }

std::string stamp(const platform::local_time& t)
{
    const unsigned ms = t.millisecond;
    return std::to_string(t.year) + "-" + two(t.month) + "-" + two(t.day) + " " + two(t.hour) + ":" + two(t.minute) +
           ":" + two(t.second) + "." + static_cast<char>('0' + ms / 100 % 10) + two(ms % 100);
}

const wchar_t* answer_text(box_answer a)
{
    switch (a) {
    case box_answer::yes:
        return L"Yes";
    case box_answer::no:
        return L"No";
    default:
        return L"OK";
    }
}

const wchar_t* icon_text(box_icon i)
{
    switch (i) {
    case box_icon::error:
        return L"error";
    case box_icon::warning:
        return L"warning";
    case box_icon::information:
        return L"information";
    default:
        return L"question";
    }
}

}  // namespace

void run_log::write(const std::wstring& event)
{
    if (state_ == state::off) return;
    buffer_ += stamp(facts_.now());
    buffer_ += ' ';
    // A line break inside an event would start a line without a stamp.
    std::wstring line = event;
    for (auto& c : line)
        if (c == L'\r' || c == L'\n') c = L' ';
    buffer_ += text::wide_to_utf8(line);
    buffer_ += "\r\n";
    if (state_ == state::writing) write_out();
}

void run_log::open(const std::wstring& path)
{
    if (state_ != state::waiting) return;
    if (path.empty()) {
        state_ = state::off;
        std::string().swap(buffer_);
        return;
    }
    path_ = path;
    state_ = state::writing;
    if (!buffer_.empty()) write_out();
}

void run_log::write_out()
{
    if (!files_.append_file(path_, buffer_)) {
        state_ = state::off;
        std::string().swap(buffer_);
        return;
    }
    buffer_.clear();
}

box_answer logged_ui::message_box(platform::window_handle owner, const std::wstring& text, const wchar_t* caption,
                                  box_icon icon, box_buttons buttons)
{
    const std::wstring shown = L"\"" + text + L"\" (caption " +
                               (caption == nullptr ? std::wstring(L"the system's") : L"\"" + std::wstring(caption) + L"\"") +
                               L", " + icon_text(icon) + (buttons == box_buttons::yes_no ? L", Yes/No)" : L", OK)");
    if (unattended_) {
        const box_answer answer = buttons == box_buttons::yes_no ? box_answer::no : box_answer::ok;
        log_.write(L"message box not shown (unattended): " + shown + L": " + answer_text(answer));
        return answer;
    }
    const box_answer answer = screen_.message_box(owner, text, caption, icon, buttons);
    log_.write(L"message box: " + shown + L": " + answer_text(answer));
    return answer;
}

}  // namespace engine
