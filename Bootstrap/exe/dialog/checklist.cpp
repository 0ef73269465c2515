#include "dialog/checklist.h"

namespace dialog {

checklist_fill fill_checklist(const config::configuration_settings& settings)
{
    checklist_fill fill;
    for (const auto& shared : settings.components) {
        components::component& c = *shared;
        if (c.required && c.primary) continue;  // the product itself: no row
        checklist_row row;
        row.owner = &c;
        row.text = c.description;
        if (c.is_installed()) {
            row.text += L" " + settings.status_installed;
            row.checked = true;
            row.locked = true;
        } else {
            if (c.required) row.text += L" " + c.required_message;
            fill.all_installed = false;
        }
        if (c.selected) row.checked = true;
        if (c.required) {
            row.checked = true;
            row.locked = true;
        }
        fill.rows.push_back(row);
    }
    return fill;
}

void read_back_checks(const std::vector<checklist_row>& rows, const std::vector<int>& state_images)
{
    for (std::size_t i = 0; i < rows.size() && i < state_images.size(); ++i)
        if (rows[i].owner != nullptr) rows[i].owner->selected = state_images[i] != 1;
}

bool is_mouse_button_message(std::uint32_t message)
{
    return message >= wm_lbuttondown && message <= wm_mbuttondblclk;
}

bool is_key_message(std::uint32_t message)
{
    return message == wm_keydown || message == wm_keyup || message == wm_char;
}

bool filter_swallows(std::uint32_t message, std::uintptr_t wparam, const row_probe& probe)
{
    if (is_mouse_button_message(message)) return probe.row >= 0 && probe.locked;
    if (is_key_message(message)) return probe.row >= 0 && (wparam & 0xFFFF) == 0x20 && probe.locked;
    return false;
}

draw_decision custom_draw(bool from_checklist, std::uint32_t stage, bool row_locked)
{
    draw_decision d;
    if (!from_checklist) return d;
    if (stage == cdds_prepaint) d.result = cdrf_notifyitemdraw;
    if (stage == cdds_itemprepaint && row_locked) d.grey_text = true;
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

}  // namespace dialog
