#include "engine/checklist.h"

namespace engine {

checklist_fill fill_checklist(const config::configuration_settings& settings)
{
    checklist_fill fill;
    for (const auto& shared : settings.components) {
        components::component& c = *shared;
        if (components::is_product(c)) continue;
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

checklist_row row_after_turn(const checklist_row& row, bool installed, const std::wstring& status_installed)
{
    checklist_row after = row;
    after.locked = true;
    after.checked = installed;
    if (installed && row.owner != nullptr) after.text = row.owner->description + L" " + status_installed;
    return after;
}

void read_back_checks(const std::vector<checklist_row>& rows, const std::vector<int>& state_images)
{
    for (std::size_t i = 0; i < rows.size() && i < state_images.size(); ++i)
        if (rows[i].owner != nullptr) rows[i].owner->selected = state_images[i] != 1;
}

}  // namespace engine
