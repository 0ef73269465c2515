// e2e_driver's readers of another process's windows: what kind a window is,
// what a message box, the program's dialog and its download window show, and
// the pixels of the screen behind them. Nothing here writes to the log.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "resources/resource.h"

namespace e2e {

// The control IDs of the program's dialog and download window, from its own
// resource header.
constexpr int kMessageId = IDC_MESSAGE;
constexpr int kListId = IDC_COMPONENTS;
constexpr int kSelectorId = IDC_SELECTOR;
constexpr int kDownloadMessageId = IDC_DOWNLOAD_MESSAGE;
constexpr int kDownloadBarId = IDC_DOWNLOAD_BAR;
constexpr int kDownloadStatusId = IDC_DOWNLOAD_STATUS;

std::wstring class_of(HWND h);
std::wstring text_of(HWND h);
std::wstring lower(std::wstring s);
std::vector<HWND> visible_windows_of(DWORD pid);
// The processes that `parent` started, by their identifiers.
std::vector<DWORD> children_of_process(DWORD parent);
// The window that has the keyboard focus in `w`'s thread; null when none.
HWND focus_window(HWND w);

// Messages to another process's windows, with a timeout so that a hung
// program cannot hang the driver. False when the message was not answered.
bool send(HWND h, UINT msg, WPARAM w, LPARAM l, DWORD_PTR* result = nullptr, UINT timeout_ms = 10000);
// How long `h` took to answer a WM_NULL; -1 when it did not within `ms`.
long ping(HWND h, UINT ms);

// Memory in the program's address space, for list-view messages whose
// argument is a pointer: the list reads and writes it in its own process.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size);
    ~RemoteBuffer();
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    bool ok() const { return base_ != nullptr; }
    LPARAM at(size_t offset) const { return (LPARAM)((char*)base_ + offset); }
    bool write(size_t offset, const void* data, size_t n);
    bool read(size_t offset, void* data, size_t n);

private:
    HANDLE process_;
    size_t size_;
    void* base_ = nullptr;
};

// LVM_GETITEMRECT of row `index`, `part` being LVIR_BOUNDS, LVIR_LABEL, ...
bool item_rect(HANDLE process, HWND list, int index, int part, RECT& r);

enum class WindowKind { message_box, dialog, download, other_dialog, other };
WindowKind classify(HWND h);

// ---------------------------------------------------------------- message boxes

struct Button {
    HWND hwnd;
    int id;
    int x;
};

struct MessageBoxView {
    std::wstring caption;
    std::wstring text;
    std::vector<Button> buttons;  // left to right
    HWND icon = nullptr;          // the visible icon control, if any
};

std::string button_name(int id);
// False while the box has no buttons yet (still being built).
bool read_message_box(HWND box, MessageBoxView& v);

// ---------------------------------------------------------------- screen pixels

// 32-bit 0x00RRGGBB pixels of a screen area, top-down.
std::vector<DWORD> screen_pixels(int x, int y, int w, int h);

struct IconGuess {
    std::string name = "none";
    std::string scores_json;  // for the log, to explain a guess
};
// Which system icon the icon control shows, judged from the screen.
IconGuess identify_icon(HWND icon_control);
// The colour row `index`'s text is drawn in (0xRRGGBB); -1 none found.
long row_ink(HANDLE process, HWND list, int index);

// ---------------------------------------------------------------- the program's dialog

struct RowView {
    std::wstring text;
    int image = -1;       // state image: 1 unchecked, 2 checked, 0 none
    bool read = false;    // LVM_GETITEMW answered
    LPARAM param = 0;     // the row's user data: non-zero = locked
    bool selected = false;
    bool focused = false;
    long ink = -1;        // the text's colour on the screen (0xRRGGBB); -1 none found
};

struct ControlView {
    bool exists = false;
    std::wstring text;
    bool enabled = false;
    bool visible = false;
};

struct DialogView {
    std::wstring caption;
    bool enabled = false;
    LONG style = 0, exstyle = 0;
    RECT client = {};
    bool big_icon = false, small_icon = false;
    long ping_ms = -1;  // how long the dialog took to answer a WM_NULL; -1: not within 10 s
    // The cursor the dialog sets when the mouse moves over it.
    HCURSOR cursor = nullptr;
    RECT window = {};
    RECT work = {};
    ControlView message, ok, cancel, list, selector;
    int focus_id = 0;  // control ID of the focused window; 0 none, -1 the dialog itself, -2 another window
    std::wstring focus_class;
    int default_id = 0;
    int selection_mark = -1;
    int row_count = -1;
    std::vector<RowView> rows;
};

ControlView read_control(HWND dlg, int id);
DialogView read_dialog(HANDLE process, HWND dlg);

// Where on row N a click lands on its check box or on its text: the list's own
// hit test is asked along the middle of the row.
struct RowPoints {
    bool ok = false;
    POINT check = {};
    POINT text = {};
    bool has_check = false, has_text = false;
    RECT bounds = {};
};
RowPoints find_row_points(HANDLE process, HWND list, int index);

// ---------------------------------------------------------------- the download window

struct DownloadView {
    std::wstring caption, message, status;
    DWORD_PTR pos = 0, max = 0;
    bool moving = false;  // a marquee bar: no size announced
    ControlView start, cancel;
    std::string owner;    // none, dialog or other
    bool has_dialog = false;  // the program's dialog is behind it:
    bool dialog_enabled = false;
    long dialog_ping_ms = -1;
};
DownloadView read_download(HWND w, HWND dialog);

// ---------------------------------------------------------------- keys

// The virtual key of a key name (escape, enter, ...); 0 for an unknown name.
UINT key_code(const std::string& name);
LPARAM key_lparam(UINT vk, bool up);

}  // namespace e2e
