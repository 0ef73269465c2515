#include "dialog/installer_dlg.h"

#include <commctrl.h>

#include "dialog/download_dlg.h"
#include "dialog/placement.h"
#include "resources/resource.h"

namespace {

constexpr wchar_t list_property[] = L"CPrerequisitesCtrl";

// Posted by the dialog to itself: the run that starts by itself begins once
// the dialog is on the screen.
constexpr UINT start_run_message = WM_APP + 1;

dialog::list_input input_of(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN: case WM_LBUTTONUP: case WM_LBUTTONDBLCLK:
    case WM_RBUTTONDOWN: case WM_RBUTTONUP: case WM_RBUTTONDBLCLK:
    case WM_MBUTTONDOWN: case WM_MBUTTONUP: case WM_MBUTTONDBLCLK:
        return dialog::list_input::mouse_button;
    case WM_KEYDOWN: case WM_KEYUP: case WM_CHAR:
        return dialog::list_input::key;
    default:
        return dialog::list_input::other;
    }
}

dialog::draw_stage stage_of(DWORD stage)
{
    if (stage == CDDS_PREPAINT) return dialog::draw_stage::prepaint;
    if (stage == CDDS_ITEMPREPAINT) return dialog::draw_stage::item_prepaint;
    return dialog::draw_stage::other;
}

}  // namespace

// ---------------------------------------------------------------------------
// CPrerequisitesCtrl

void CPrerequisitesCtrl::bind(HWND list)
{
    hwnd_ = list;
    SetPropW(hwnd_, list_property, this);
    previous_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CPrerequisitesCtrl::window_proc)));
    SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_CHECKBOXES);
}

void CPrerequisitesCtrl::add_column()
{
    RECT client;
    GetClientRect(hwnd_, &client);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = client.right - client.left;
    wchar_t empty[] = L"";
    column.pszText = empty;
    column.iSubItem = 0;
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
}

bool CPrerequisitesCtrl::fill(const config::configuration_settings& settings)
{
    SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    const engine::checklist_fill fill = engine::fill_checklist(settings);
    rows_ = fill.rows;
    for (const auto& row : rows_) {
        LVITEMW item = {};
        item.mask = LVIF_TEXT;
        item.iItem = static_cast<int>(SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0));
        item.pszText = const_cast<wchar_t*>(row.text.c_str());
        const int index = static_cast<int>(SendMessageW(hwnd_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));

        LVITEMW state = {};
        state.stateMask = LVIS_STATEIMAGEMASK;
        state.state = INDEXTOSTATEIMAGEMASK(row.checked ? 2 : 1);
        SendMessageW(hwnd_, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));

        LVITEMW lock = {};
        lock.mask = LVIF_PARAM;
        lock.iItem = index;
        lock.lParam = row.locked ? 1 : 0;
        SendMessageW(hwnd_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&lock));
    }
    return fill.all_installed;
}

void CPrerequisitesCtrl::show_row(int index, const engine::checklist_row& row, bool current)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(row.text.c_str());
    item.lParam = row.locked ? 1 : 0;
    SendMessageW(hwnd_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    LVITEMW state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(row.checked ? 2 : 1);
    SendMessageW(hwnd_, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&state));
    if (current) {
        // The list does not hold the focus during the run: its selection
        // shows all the same.
        const LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
        if (!(style & LVS_SHOWSELALWAYS)) SetWindowLongW(hwnd_, GWL_STYLE, style | LVS_SHOWSELALWAYS);
        LVITEMW selected = {};
        selected.stateMask = selected.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(hwnd_, LVM_SETITEMSTATE, index, reinterpret_cast<LPARAM>(&selected));
        SendMessageW(hwnd_, LVM_ENSUREVISIBLE, index, FALSE);
    }
    // A lock changes the text's colour: the row is drawn again.
    SendMessageW(hwnd_, LVM_REDRAWITEMS, index, index);
}

void CPrerequisitesCtrl::clear_selection()
{
    LVITEMW none = {};
    none.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&none));
}

bool CPrerequisitesCtrl::is_row_locked(int row) const
{
    LVITEMW item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    // A row whose data cannot be read counts as unlocked.
    return SendMessageW(hwnd_, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) && item.lParam != 0;
}

std::vector<int> CPrerequisitesCtrl::state_images() const
{
    std::vector<int> images;
    const int count = static_cast<int>(SendMessageW(hwnd_, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < count; ++i)
        images.push_back(static_cast<int>((SendMessageW(hwnd_, LVM_GETITEMSTATE, i, LVIS_STATEIMAGEMASK) & 0xF000) >> 12));
    return images;
}

dialog::row_probe CPrerequisitesCtrl::probe(dialog::list_input input, LPARAM lparam) const
{
    dialog::row_probe p;
    if (input == dialog::list_input::mouse_button) {
        LVHITTESTINFO hit = {};
        hit.pt.x = static_cast<short>(LOWORD(lparam));
        hit.pt.y = static_cast<short>(HIWORD(lparam));
        const int row = static_cast<int>(SendMessageW(hwnd_, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (row >= 0 && (hit.flags & (LVHT_ONITEMSTATEICON | LVHT_ONITEMLABEL | LVHT_ONITEMICON))) p.row = row;
    } else if (input == dialog::list_input::key) {
        p.row = static_cast<int>(SendMessageW(hwnd_, LVM_GETSELECTIONMARK, 0, 0));
    }
    if (p.row >= 0) p.locked = is_row_locked(p.row);
    return p;
}

LRESULT CALLBACK CPrerequisitesCtrl::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    auto* self = static_cast<CPrerequisitesCtrl*>(GetPropW(hwnd, list_property));
    if (self == nullptr) return DefWindowProcW(hwnd, message, wparam, lparam);
    const WNDPROC previous = self->previous_;
    if (message == WM_NCDESTROY) {
        // The list goes: it takes back its own procedure and the property,
        // which would otherwise keep its name registered for the session.
        SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
        RemovePropW(hwnd, list_property);
        self->hwnd_ = nullptr;
        return CallWindowProcW(previous, hwnd, message, wparam, lparam);
    }
    const dialog::list_input input = input_of(message);
    if (input != dialog::list_input::other &&
        (self->frozen_ || dialog::filter_swallows(input, (wparam & 0xFFFF) == 0x20, self->probe(input, lparam))))
        return 0;
    return CallWindowProcW(previous, hwnd, message, wparam, lparam);
}

// ---------------------------------------------------------------------------
// CInstallerDlg

void CInstallerDlg::run_modal()
{
    DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_INSTALLER), nullptr, &CInstallerDlg::dialog_proc,
                    reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CInstallerDlg::dialog_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(hwnd, DWLP_USER, lparam);
        reinterpret_cast<CInstallerDlg*>(lparam)->hwnd_ = hwnd;
    }
    auto* self = reinterpret_cast<CInstallerDlg*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    return self == nullptr ? FALSE : self->handle(message, wparam, lparam);
}

INT_PTR CInstallerDlg::handle(UINT message, WPARAM wparam, LPARAM lparam)
{
    switch (message) {
    case WM_INITDIALOG:
        on_init();
        return FALSE;  // the focus has been set
    case start_run_message:
        show_then_run();
        return TRUE;
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: {
        HDC dc = reinterpret_cast<HDC>(wparam);
        SetBkMode(dc, TRANSPARENT);
        SetTextColor(dc, RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(GetStockObject(NULL_BRUSH));
    }
    case WM_COMMAND:
        // While the run lasts, Continue and Exit are ignored from any source
        // (the keyboard, the close box, the taskbar).
        if (LOWORD(wparam) == IDOK) {
            if (!running_) start_run();
            return TRUE;
        }
        if (LOWORD(wparam) == IDCANCEL) {
            if (!running_) {
                run_.record.left_before_run = true;
                run_.log.write(L"the user left the dialog before a run");
                EndDialog(hwnd_, IDCANCEL);
            }
            return TRUE;
        }
        return FALSE;
    case WM_SETCURSOR:
        // The wait cursor stays over the whole dialog while the run lasts;
        // the window's own cursor would replace it at the first mouse move.
        if (!running_) return FALSE;
        SetCursor(LoadCursorW(nullptr, IDC_WAIT));
        SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, TRUE);
        return TRUE;
    case WM_NOTIFY: {
        auto* header = reinterpret_cast<NMHDR*>(lparam);
        if (header->code == static_cast<UINT>(NM_CUSTOMDRAW))
            return on_custom_draw(reinterpret_cast<NMLVCUSTOMDRAW*>(lparam));
        return FALSE;
    }
    default:
        return FALSE;
    }
}

INT_PTR CInstallerDlg::on_custom_draw(NMLVCUSTOMDRAW* draw)
{
    const bool from_list = draw->nmcd.hdr.idFrom == static_cast<UINT_PTR>(IDC_COMPONENTS);
    const dialog::draw_stage stage = stage_of(draw->nmcd.dwDrawStage);
    const bool locked = from_list && stage == dialog::draw_stage::item_prepaint &&
                        list_.is_row_locked(static_cast<int>(draw->nmcd.dwItemSpec));
    const dialog::draw_decision d = dialog::custom_draw(from_list, stage, locked);
    if (d.grey_text) draw->clrText = GetSysColor(COLOR_GRAYTEXT);
    SetWindowLongPtrW(hwnd_, DWLP_MSGRESULT, d.notify_each_item ? CDRF_NOTIFYITEMDRAW : CDRF_DODEFAULT);
    return TRUE;
}

void CInstallerDlg::set_icons()
{
    // The icons are the dialog's own: it destroys them when it goes.
    HINSTANCE instance = GetModuleHandleW(nullptr);
    big_icon_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON),
                                                  LR_DEFAULTCOLOR)));
    SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.get()));
    small_icon_.reset(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_SETUP), IMAGE_ICON,
                                                    GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                                    LR_DEFAULTCOLOR)));
    SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));
}

void CInstallerDlg::on_init()
{
    // A second copy of the setup finds this dialog by its mark.
    if (!run_.run_lock.empty()) run_.sys.mark_window(handle(), run_.run_lock);
    dialog::centre_over_owner(hwnd_);
    SetWindowTextW(hwnd_, settings_.dialog_caption.c_str());
    SetDlgItemTextW(hwnd_, IDCANCEL, settings_.cancel_caption.c_str());
    SetDlgItemTextW(hwnd_, IDOK, settings_.install_caption.c_str());
    SetDlgItemTextW(hwnd_, IDC_MESSAGE, settings_.dialog_message.c_str());
    ShowWindow(GetDlgItem(hwnd_, IDC_SELECTOR), SW_HIDE);
    SetFocus(GetDlgItem(hwnd_, IDOK));
    set_icons();

    if (!list_.bound()) list_.bind(GetDlgItem(hwnd_, IDC_COMPONENTS));
    list_.add_column();

    switch (engine::how_the_dialog_opens(run_.sys, list_.fill(settings_), settings_.show_progress, run_.passive)) {
    case engine::opening::run_unseen:
        start_run();
        break;
    case engine::opening::show_then_run:
        // Disabled from the first moment it shows; the run begins from the
        // dialog's own loop, once the dialog is there to be seen.
        begin_run();
        PostMessageW(hwnd_, start_run_message, 0, 0);
        break;
    default:
        break;
    }
}

void CInstallerDlg::show_then_run()
{
    ShowWindow(hwnd_, SW_SHOW);
    UpdateWindow(hwnd_);
    SetForegroundWindow(hwnd_);
    start_run();
}

void CInstallerDlg::start_run()
{
    engine::run_interactive_install(run_, settings_, list_.rows(), *this);
}

void CInstallerDlg::begin_run()
{
    running_ = true;
    SetDlgItemTextW(hwnd_, IDOK, settings_.install_wait_caption.c_str());
    EnableWindow(GetDlgItem(hwnd_, IDOK), FALSE);
    EnableWindow(GetDlgItem(hwnd_, IDCANCEL), FALSE);
    // The window itself stays enabled: a message box gives the activation
    // back to an owner that was enabled when it opened, and to a disabled
    // one it does not, so the dialog would fall behind other programs after
    // the run's first question. Its input is ignored instead: the check
    // list swallows clicks and keys, and Continue and Exit are ignored.
    list_.freeze();
}

void CInstallerDlg::show_wait_cursor() { previous_cursor_ = SetCursor(LoadCursorW(nullptr, IDC_WAIT)); }

void CInstallerDlg::restore_cursor() { SetCursor(previous_cursor_); }

void CInstallerDlg::end_dialog() { EndDialog(hwnd_, IDOK); }

void CInstallerDlg::show_message(const std::wstring& text)
{
    HWND message = GetDlgItem(hwnd_, IDC_MESSAGE);
    SetWindowTextW(message, text.c_str());
    // The message is drawn straight on the picture: the picture behind it is
    // drawn again first, or the old text would show through.
    RECT area;
    GetWindowRect(message, &area);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&area), 2);
    RedrawWindow(hwnd_, &area, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

std::unique_ptr<download::progress_view> CInstallerDlg::open_download_window(
    const components::download_dialog_settings& downloads, const std::wstring& dialog_caption)
{
    return std::make_unique<CDownloadDlg>(hwnd_, downloads, dialog_caption);
}
