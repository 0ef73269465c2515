// Reading the program's dialog from outside: its controls, its focus and
// the rows of its list, which live in the program's memory.
#include <algorithm>

#include "driver_windows.h"

namespace e2e {

ControlView read_control(HWND dlg, int id) {
    ControlView v;
    HWND h = GetDlgItem(dlg, id);
    if (!h) return v;
    v.exists = true;
    v.text = text_of(h);
    v.enabled = IsWindowEnabled(h) != FALSE;
    v.visible = (GetWindowLongW(h, GWL_STYLE) & WS_VISIBLE) != 0;
    return v;
}

namespace {

// A zero-terminated UTF-16 text in the program's memory, read in small steps
// so that a text near the end of a page is still read.
std::wstring read_remote_string(HANDLE process, const wchar_t* at, size_t max_chars) {
    std::wstring out;
    wchar_t chunk[32];
    while (out.size() < max_chars) {
        SIZE_T done = 0;
        if (!ReadProcessMemory(process, at + out.size(), chunk, sizeof chunk, &done) || done < sizeof(wchar_t)) {
            // Fall back to one character at a time at a page edge.
            if (!ReadProcessMemory(process, at + out.size(), chunk, sizeof(wchar_t), &done) || done != sizeof(wchar_t))
                break;
            done = sizeof(wchar_t);
        }
        size_t n = done / sizeof(wchar_t);
        for (size_t i = 0; i < n; ++i) {
            if (chunk[i] == L'\0') return out;
            out += chunk[i];
        }
    }
    return out;
}

bool read_row(HANDLE process, HWND list, int index, RowView& row) {
    const size_t text_chars = 1024;
    RemoteBuffer mem(process, sizeof(LVITEMW) + text_chars * sizeof(wchar_t));
    if (!mem.ok()) return false;
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM | LVIF_STATE;
    item.iItem = index;
    item.stateMask = LVIS_STATEIMAGEMASK | LVIS_SELECTED | LVIS_FOCUSED;
    item.pszText = (LPWSTR)mem.at(sizeof(LVITEMW));
    item.cchTextMax = (int)text_chars;
    std::vector<wchar_t> zeros(text_chars, L'\0');
    if (!mem.write(0, &item, sizeof item) || !mem.write(sizeof(LVITEMW), zeros.data(), zeros.size() * sizeof(wchar_t)))
        return false;
    DWORD_PTR ok = 0;
    if (!send(list, LVM_GETITEMW, 0, mem.at(0), &ok)) return false;
    row.read = ok != 0;
    LVITEMW back = {};
    if (!mem.read(0, &back, sizeof back)) return false;
    // The list copies the text into the buffer, or may point pszText at its
    // own copy: read from wherever it points, a little at a time.
    row.text = read_remote_string(process, back.pszText, text_chars);
    row.param = back.lParam;
    // The state image as LVM_GETITEMSTATE gives it, as the program reads it back.
    DWORD_PTR state = 0;
    send(list, LVM_GETITEMSTATE, index, LVIS_STATEIMAGEMASK | LVIS_SELECTED | LVIS_FOCUSED, &state);
    row.image = (int)((state & LVIS_STATEIMAGEMASK) >> 12);
    row.selected = (state & LVIS_SELECTED) != 0;
    row.focused = (state & LVIS_FOCUSED) != 0;
    return true;
}

// The dialog's window as a whole: whether it answers, its cursor, its icons.
void read_frame(HWND dlg, DialogView& v) {
    v.caption = text_of(dlg);
    v.enabled = IsWindowEnabled(dlg) != FALSE;
    v.style = GetWindowLongW(dlg, GWL_STYLE);
    v.exstyle = GetWindowLongW(dlg, GWL_EXSTYLE);
    GetClientRect(dlg, &v.client);
    // Whether the dialog answers: a program that waits without handling its
    // messages does not while its component runs (cases hold the component
    // until the read is done, so a slow machine never looks like a frozen
    // dialog).
    v.ping_ms = ping(dlg, 10000);
    // A mouse move over the picture, as the system announces it: the dialog
    // sets its cursor on its own thread before the message returns.
    CURSORINFO ci = {};
    ci.cbSize = sizeof ci;
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutW(dlg, WM_SETCURSOR, (WPARAM)dlg, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), SMTO_BLOCK, 10000,
                            &ignored) &&
        GetCursorInfo(&ci))
        v.cursor = ci.hCursor;
    // (Under Wine 8, WM_GETICON is not answered across processes: these
    // stay false there.)
    DWORD_PTR icon = 0;
    v.big_icon = send(dlg, WM_GETICON, ICON_BIG, 0, &icon) && icon != 0;
    v.small_icon = send(dlg, WM_GETICON, ICON_SMALL, 0, &icon) && icon != 0;
    GetWindowRect(dlg, &v.window);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &v.work, 0);
}

void read_focus(HWND dlg, DialogView& v) {
    HWND focus = focus_window(dlg);
    if (!focus) return;
    if (focus == dlg) {
        v.focus_id = -1;
    } else if (IsChild(dlg, focus)) {
        v.focus_id = GetDlgCtrlID(focus);
    } else {
        v.focus_id = -2;
    }
    v.focus_class = class_of(focus);
}

void read_rows(HANDLE process, HWND list, DialogView& v) {
    DWORD_PTR r = 0;
    if (send(list, LVM_GETITEMCOUNT, 0, 0, &r)) v.row_count = (int)r;
    if (send(list, LVM_GETSELECTIONMARK, 0, 0, &r)) v.selection_mark = (int)r;
    // Painted now, so that the text colours can be read from the screen.
    RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    for (int i = 0; i < v.row_count; ++i) {
        RowView row;
        read_row(process, list, i, row);
        const DWORD until = GetTickCount() + 10000;
        while ((row.ink = row_ink(process, list, i)) < 0 && (LONG)(GetTickCount() - until) < 0) Sleep(20);
        v.rows.push_back(row);
    }
}

}  // namespace

DialogView read_dialog(HANDLE process, HWND dlg) {
    DialogView v;
    read_frame(dlg, v);
    v.message = read_control(dlg, kMessageId);
    v.ok = read_control(dlg, IDOK);
    v.cancel = read_control(dlg, IDCANCEL);
    v.list = read_control(dlg, kListId);
    v.list.text.clear();
    v.selector = read_control(dlg, kSelectorId);
    read_focus(dlg, v);
    DWORD_PTR def = 0;
    if (send(dlg, DM_GETDEFID, 0, 0, &def) && HIWORD(def) == DC_HASDEFID) v.default_id = LOWORD(def);
    HWND list = GetDlgItem(dlg, kListId);
    if (list) read_rows(process, list, v);
    return v;
}

RowPoints find_row_points(HANDLE process, HWND list, int index) {
    RowPoints p;
    RECT r = {};
    if (!item_rect(process, list, index, LVIR_BOUNDS, r)) return p;
    RemoteBuffer mem(process, sizeof(LVHITTESTINFO));
    if (!mem.ok()) return p;
    p.bounds = r;
    const int y = (r.top + r.bottom) / 2;
    int check_from = -1, check_to = -1, text_from = -1, text_to = -1;
    const int right = std::min<LONG>(r.right, r.left + 600);
    for (int x = std::max<LONG>(r.left, 0); x < right; ++x) {
        LVHITTESTINFO hit = {};
        hit.pt.x = x;
        hit.pt.y = y;
        DWORD_PTR item = (DWORD_PTR)-1;
        if (!mem.write(0, &hit, sizeof hit) || !send(list, LVM_HITTEST, 0, mem.at(0), &item) ||
            !mem.read(0, &hit, sizeof hit))
            return p;
        if ((int)item != index) continue;
        if (hit.flags & LVHT_ONITEMSTATEICON) {
            if (check_from < 0) check_from = x;
            check_to = x;
        } else if (hit.flags & LVHT_ONITEMLABEL) {
            if (text_from < 0) text_from = x;
            text_to = x;
        }
    }
    p.ok = true;
    if (check_from >= 0) {
        p.has_check = true;
        p.check = {(check_from + check_to) / 2, y};
    }
    if (text_from >= 0) {
        p.has_text = true;
        // Well inside the text, away from the check box.
        p.text = {std::min(text_from + 12, (text_from + text_to) / 2), y};
    }
    return p;
}

}  // namespace e2e
