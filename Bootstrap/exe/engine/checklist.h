// The rows of the component check list: which exist, with which text, check
// and lock, and how the user's checks are read back into the components.
// The dialog shows them; the interactive run reads them back.
#pragma once

#include <string>
#include <vector>

#include "config/settings.h"

namespace engine {

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

// One row per component, in list order, except the product itself (required
// and primary). Asks each component's installed checks afresh.
checklist_fill fill_checklist(const config::configuration_settings& settings);

// How a row looks once its component's turn in a run that shows its
// progress has ended: installed, like an installed row at the start (the
// description and status_installed, checked, locked); failed, unchecked and
// locked, its text unchanged.
checklist_row row_after_turn(const checklist_row& row, bool installed, const std::wstring& status_installed);

// The read-back: each row's component is selected unless its box is
// unchecked (state image 1). Components without a row keep their flag.
// `state_images` holds each row's state image index, in row order.
void read_back_checks(const std::vector<checklist_row>& rows, const std::vector<int>& state_images);

}  // namespace engine
