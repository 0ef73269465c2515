// The install run behind Continue: the user's choice from the check list,
// then each chosen component with the dialog as owner.
#pragma once

#include <memory>
#include <vector>

#include "config/settings.h"
#include "download/downloader.h"
#include "engine/checklist.h"
#include "engine/run_context.h"
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

    // For a run that shows its progress:
    // The dialog's message reads `text`.
    virtual void show_message(const std::wstring& text) = 0;
    // Row `index` looks like `row`; `current` makes it the selected row,
    // scrolled into view.
    virtual void show_row(std::size_t index, const checklist_row& row, bool current) = 0;
    // No row is the selected one any more: the run has ended.
    virtual void clear_current_row() = 0;
    // A download window for one component's downloads, owned by the dialog,
    // open until the view goes; its caption is the downloads' own, else
    // `dialog_caption`. None: the files are fetched without a window.
    virtual std::unique_ptr<download::progress_view> open_download_window(
        const components::download_dialog_settings& downloads, const std::wstring& dialog_caption) = 0;
};

// Whether the dialog starts the run at once, without the user: when every
// listed component is installed, or else when the setup resumes after a
// restart (its Run value, asked only in that case).
bool starts_by_itself(platform::platform& sys, bool all_listed_installed);

// How the dialog opens: waiting for Continue; running at once, unseen, and
// ending before it is ever shown; or, for a run that starts by itself and
// shows its progress, shown first with its buttons disabled, then running,
// so that what the run shows (and a download window over it) is seen. A
// passive run (nobody answers, somebody may watch) always starts by itself.
enum class opening { wait_for_continue, run_unseen, show_then_run };
opening how_the_dialog_opens(platform::platform& sys, bool all_listed_installed, bool show_progress, bool passive);

// Runs once and always ends the dialog.
void run_interactive_install(run_context& run, const config::configuration_settings& settings,
                             const std::vector<checklist_row>& rows, install_window& window);

}  // namespace engine
