// The installer dialog and its component check list, over plain Win32.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <vector>

#include "config/settings.h"
#include "dialog/dialog_rules.h"
#include "engine/checklist.h"
#include "engine/interactive_run.h"
#include "platform/platform.h"
#include "platform/win32_handles.h"

// The component check list: the dialog's list control, subclassed so that
// locked rows ignore clicks and the space bar.
class CPrerequisitesCtrl {
public:
    CPrerequisitesCtrl() = default;
    CPrerequisitesCtrl(const CPrerequisitesCtrl&) = delete;
    CPrerequisitesCtrl& operator=(const CPrerequisitesCtrl&) = delete;

    bool bound() const { return hwnd_ != nullptr; }
    // Subclasses the list until it is destroyed, and gives it check boxes.
    void bind(HWND list);
    void add_column();
    // Fills the rows; answers whether every listed component is installed.
    bool fill(const config::configuration_settings& settings);
    bool is_row_locked(int row) const;
    std::vector<int> state_images() const;
    const std::vector<engine::checklist_row>& rows() const { return rows_; }
    // Shows a row as it now is; `current` selects it and scrolls it into view.
    void show_row(int index, const engine::checklist_row& row, bool current);
    // No row is selected any more.
    void clear_selection();
    // From now on every click and key is swallowed.
    void freeze() { frozen_ = true; }

private:
    static LRESULT CALLBACK window_proc(HWND, UINT, WPARAM, LPARAM);
    dialog::row_probe probe(dialog::list_input input, LPARAM lparam) const;

    HWND hwnd_ = nullptr;
    WNDPROC previous_ = nullptr;
    std::vector<engine::checklist_row> rows_;
    bool frozen_ = false;
};

class CInstallerDlg : private engine::install_window {
public:
    CInstallerDlg(engine::run_context& run, const config::configuration_settings& settings)
        : settings_(settings), run_(run)
    {
    }

    // Shows the dialog modally (its template, no owner) until it ends.
    void run_modal();

private:
    static INT_PTR CALLBACK dialog_proc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR handle(UINT message, WPARAM wparam, LPARAM lparam);
    void on_init();
    void show_then_run();
    void set_icons();
    void start_run();
    INT_PTR on_custom_draw(NMLVCUSTOMDRAW* draw);

    // engine::install_window
    platform::window_handle handle() override { return reinterpret_cast<platform::window_handle>(hwnd_); }
    void begin_run() override;
    std::vector<int> row_state_images() override { return list_.state_images(); }
    void show_wait_cursor() override;
    void restore_cursor() override;
    void end_dialog() override;
    void show_message(const std::wstring& text) override;
    void show_row(std::size_t index, const engine::checklist_row& row, bool current) override
    {
        list_.show_row(static_cast<int>(index), row, current);
    }
    void clear_current_row() override { list_.clear_selection(); }
    std::unique_ptr<download::progress_view> open_download_window(const components::download_dialog_settings& downloads,
                                                                  const std::wstring& dialog_caption) override;

    CPrerequisitesCtrl list_;
    config::configuration_settings settings_;
    engine::run_context& run_;
    HWND hwnd_ = nullptr;
    bool running_ = false;
    HCURSOR previous_cursor_ = nullptr;
    win32::icon big_icon_;
    win32::icon small_icon_;
};
