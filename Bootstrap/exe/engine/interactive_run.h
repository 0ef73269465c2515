// The install run behind Continue: the user's choice from the check list,
// then each chosen component with the dialog as owner.
#pragma once

#include <vector>

#include "config/settings.h"
#include "dialog/checklist.h"
#include "platform/platform.h"

namespace engine {

// What the run needs of the installer dialog.
class install_window {
public:
    virtual ~install_window() = default;
    virtual platform::window_handle handle() = 0;
    // Continue reads "Please wait...", both buttons are disabled, and the
    // dialog takes no input until it ends (Continue and Exit included).
    virtual void begin_run() = 0;
    // Each row's state image index, in row order.
    virtual std::vector<int> row_state_images() = 0;
    virtual void show_wait_cursor() = 0;
    virtual void restore_cursor() = 0;
    virtual void end_dialog() = 0;
};

// Runs once and always ends the dialog. Raises nothing.
void run_interactive_install(platform::platform& sys, const config::configuration_settings& settings,
                             const std::vector<dialog::checklist_row>& rows, install_window& window);

}  // namespace engine
