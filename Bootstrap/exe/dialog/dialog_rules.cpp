#include "dialog/dialog_rules.h"

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

}  // namespace dialog
