#include "dialog/dialog_rules.h"

#include "base/numbered_format.h"
#include "base/text.h"
#include "download/downloader.h"

namespace dialog {

bool filter_swallows(list_input input, bool is_space, const row_probe& probe)
{
    switch (input) {
    case list_input::mouse_button:
        return probe.row >= 0 && probe.locked;
    case list_input::key:
        return probe.row >= 0 && is_space && probe.locked;
    default:
        return false;
    }
}

draw_decision custom_draw(bool from_checklist, draw_stage stage, bool row_locked)
{
    draw_decision d;
    if (!from_checklist) return d;
    d.notify_each_item = stage == draw_stage::prepaint;
    d.grey_text = stage == draw_stage::item_prepaint && row_locked;
    return d;
}

point centre_in(const rect& window, const rect& centre, const rect& area)
{
    const long w = window.right - window.left;
    const long h = window.bottom - window.top;
    point p;
    p.x = (centre.left + centre.right) / 2 - w / 2;
    p.y = (centre.top + centre.bottom) / 2 - h / 2;
    if (p.x < area.left)
        p.x = area.left;
    else if (p.x + w > area.right)
        p.x = area.right - w;
    if (p.y < area.top)
        p.y = area.top;
    else if (p.y + h > area.bottom)
        p.y = area.bottom - h;
    return p;
}

download_texts download_window_texts(const components::download_dialog_settings& d, const std::wstring& dialog_caption)
{
    download_texts t;
    t.caption = d.dialog_caption.empty() ? dialog_caption : d.dialog_caption;
    t.waiting = d.dialog_message;
    t.downloading = d.dialog_message_downloading;
    t.start = d.buttonstart_caption.empty() ? std::wstring(L"Start") : d.buttonstart_caption;
    t.cancel = d.buttoncancel_caption.empty() ? std::wstring(L"Cancel") : d.buttoncancel_caption;
    t.shows_start = !d.autostartdownload;
    t.progress = d.progress_text;
    t.progress_no_size = d.progress_text_no_size;
    t.retry = d.retry_text;
    return t;
}

bar_state progress_bar(std::uint64_t so_far, std::uint64_t announced)
{
    bar_state b;
    if (announced == 0) {
        b.moving = true;
        return b;
    }
    b.thousandths = so_far >= announced ? 1000 : static_cast<int>(so_far * 1000 / announced);
    return b;
}

namespace {

std::wstring number(int v) { return text::decimal(static_cast<std::uint64_t>(v < 0 ? 0 : v)); }

std::wstring size(std::uint64_t n)
{
    return download::format_byte_size(static_cast<std::uint32_t>(n < 0xFFFFFFFFu ? n : 0xFFFFFFFFu));
}

}  // namespace

std::wstring progress_text(const download_texts& texts, const std::wstring& componentname, std::uint64_t so_far,
                           std::uint64_t announced, int index, int count)
{
    // Without an announced size the third field is empty.
    return text::format_numbered(announced != 0 ? texts.progress : texts.progress_no_size,
                                 {componentname, size(so_far), announced != 0 ? size(announced) : std::wstring(),
                                  number(index), number(count)});
}

std::wstring pause_text(const download_texts& texts, const std::wstring& componentname, int attempt, int attempts,
                        int index, int count)
{
    return text::format_numbered(texts.retry,
                                 {componentname, number(attempt), number(attempts), number(index), number(count)});
}

}  // namespace dialog
