#include "dialog/download_dlg.h"

#include <commctrl.h>

#include "dialog/placement.h"
#include "platform/win32_pump.h"
#include "resources/resource.h"

CDownloadDlg::CDownloadDlg(HWND owner, const components::download_dialog_settings& downloads,
                           const std::wstring& dialog_caption)
    : owner_(owner), texts_(dialog::download_window_texts(downloads, dialog_caption))
{
    hwnd_ = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_DOWNLOAD), owner_,
                               &CDownloadDlg::dialog_proc, reinterpret_cast<LPARAM>(this));
    if (hwnd_ == nullptr) {
        // The downloads fail: without the window nobody could cancel them.
        create_error_ = GetLastError();
        return;
    }
    SetWindowTextW(hwnd_, texts_.caption.c_str());
    set_text(IDC_DOWNLOAD_MESSAGE, texts_.waiting);
    SetDlgItemTextW(hwnd_, IDOK, texts_.start.c_str());
    SetDlgItemTextW(hwnd_, IDCANCEL, texts_.cancel.c_str());
    SendDlgItemMessageW(hwnd_, IDC_DOWNLOAD_BAR, PBM_SETRANGE32, 0, 1000);
    HWND focus = GetDlgItem(hwnd_, IDCANCEL);
    ShowWindow(GetDlgItem(hwnd_, IDOK), texts_.shows_start ? SW_SHOW : SW_HIDE);
    if (texts_.shows_start)
        focus = GetDlgItem(hwnd_, IDOK);
    else
        SendMessageW(hwnd_, DM_SETDEFID, IDCANCEL, 0);
    dialog::centre_over_owner(hwnd_);
    // Modal to the installer dialog, which stays painted behind it.
    if (owner_ != nullptr) EnableWindow(owner_, FALSE);
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    SetFocus(focus);
}

CDownloadDlg::~CDownloadDlg()
{
    if (hwnd_ == nullptr) return;
    // The owner first, so that the activation goes back to it.
    if (owner_ != nullptr) EnableWindow(owner_, TRUE);
    DestroyWindow(hwnd_);
}

INT_PTR CALLBACK CDownloadDlg::dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
        return TRUE;
    }
    auto* self = reinterpret_cast<CDownloadDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self == nullptr ? FALSE : self->handle(message, wparam);
}

INT_PTR CDownloadDlg::handle(UINT message, WPARAM wparam)
{
    if (message != WM_COMMAND) return FALSE;
    // Cancel, Esc and the close box all arrive as IDCANCEL.
    if (LOWORD(wparam) == IDCANCEL) {
        cancel();
        return TRUE;
    }
    if (LOWORD(wparam) == IDOK && texts_.shows_start && !started_ && !cancelled_) {
        started_ = true;
        EnableWindow(GetDlgItem(hwnd_, IDOK), FALSE);
        SendMessageW(hwnd_, DM_SETDEFID, IDCANCEL, 0);
        SetFocus(GetDlgItem(hwnd_, IDCANCEL));
        return TRUE;
    }
    return FALSE;
}

void CDownloadDlg::cancel()
{
    if (cancelled_) return;
    cancelled_ = true;
    // The run notices at its next look and closes the window.
    EnableWindow(GetDlgItem(hwnd_, IDOK), FALSE);
    EnableWindow(GetDlgItem(hwnd_, IDCANCEL), FALSE);
}

bool CDownloadDlg::usable(std::uint32_t& error)
{
    error = create_error_;
    return hwnd_ != nullptr;
}

bool CDownloadDlg::go_ahead()
{
    if (hwnd_ == nullptr || !texts_.shows_start) return !cancelled_;
    // The windows are served until Start or Cancel. When the session ends
    // (a quit request, kept for the loop that owns it) nothing starts.
    while (!started_ && !cancelled_) {
        const win32::pumped r = win32::pump_once(nullptr, INFINITE);
        if (r == win32::pumped::quit || r == win32::pumped::failed) cancelled_ = true;
    }
    return !cancelled_;
}

void CDownloadDlg::set_text(int id, const std::wstring& text)
{
    // Only a change is drawn: the text is set up to ten times a second.
    wchar_t shown[512] = {};
    GetDlgItemTextW(hwnd_, id, shown, 512);
    if (text != shown) SetDlgItemTextW(hwnd_, id, text.c_str());
}

void CDownloadDlg::show_bar(const dialog::bar_state& bar)
{
    HWND control = GetDlgItem(hwnd_, IDC_DOWNLOAD_BAR);
    if (bar.moving != bar_moving_) {
        const LONG style = GetWindowLongW(control, GWL_STYLE);
        SetWindowLongW(control, GWL_STYLE, bar.moving ? (style | PBS_MARQUEE) : (style & ~PBS_MARQUEE));
        SendMessageW(control, PBM_SETMARQUEE, bar.moving ? TRUE : FALSE, 30);
        bar_moving_ = bar.moving;
        bar_position_ = -1;
    }
    if (!bar.moving && bar.thousandths != bar_position_) {
        SendMessageW(control, PBM_SETPOS, bar.thousandths, 0);
        bar_position_ = bar.thousandths;
    }
}

void CDownloadDlg::transferring(const components::download_item& item, int index, int count, std::uint64_t so_far,
                                std::uint64_t announced)
{
    if (hwnd_ == nullptr) return;
    if (!downloading_) {
        downloading_ = true;
        set_text(IDC_DOWNLOAD_MESSAGE, texts_.downloading);
    }
    show_bar(dialog::progress_bar(so_far, announced));
    set_text(IDC_DOWNLOAD_STATUS, dialog::progress_text(texts_, item.componentname, so_far, announced, index, count));
}

void CDownloadDlg::pausing(const components::download_item& item, int index, int count, int attempt)
{
    if (hwnd_ == nullptr) return;
    show_bar(dialog::bar_state{});
    set_text(IDC_DOWNLOAD_STATUS,
             dialog::pause_text(texts_, item.componentname, attempt, download::attempts_per_item, index, count));
}
