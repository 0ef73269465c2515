// The download window of an interactive run that shows its progress: one
// component's downloads, item by item, with a progress bar, and Cancel.
#pragma once

#include <windows.h>

#include <string>

#include "components/downloads.h"
#include "dialog/dialog_rules.h"
#include "download/downloader.h"

// A modeless window owned by the installer dialog, which it disables as a
// modal window would; the waits of the run serve the messages of both. It
// closes when the object goes.
class CDownloadDlg : public download::progress_view {
public:
    CDownloadDlg(HWND owner, const components::download_dialog_settings& downloads, const std::wstring& dialog_caption);
    ~CDownloadDlg() override;
    CDownloadDlg(const CDownloadDlg&) = delete;
    CDownloadDlg& operator=(const CDownloadDlg&) = delete;

    bool usable(std::uint32_t& error) override;
    bool go_ahead() override;
    void transferring(const components::download_item& item, int index, int count, std::uint64_t so_far,
                      std::uint64_t announced) override;
    void pausing(const components::download_item& item, int index, int count, int attempt) override;
    bool cancelled() override { return cancelled_; }

private:
    static INT_PTR CALLBACK dialog_proc(HWND, UINT, WPARAM, LPARAM);
    INT_PTR handle(UINT message, WPARAM wparam);
    void set_text(int id, const std::wstring& text);
    void show_bar(const dialog::bar_state& bar);
    void cancel();

    HWND owner_;
    HWND hwnd_ = nullptr;
    DWORD create_error_ = 0;  // why the window could not be made
    dialog::download_texts texts_;
    bool started_ = false;
    bool cancelled_ = false;
    bool downloading_ = false;
    bool bar_moving_ = false;
    int bar_position_ = -1;
};
