// e2e_driver.exe: runs a program under test and operates its windows the way
// a person would, writing what it saw to a log that run_e2e.py reads.
//
//   e2e_driver.exe --exe <program> --cwd <folder> --script <file>
//                  --log <file> --timeout <seconds>
//                  [--foreign-window <caption part>]... [-- <program arguments>]
//
// The script is a list of steps, one per line, taken strictly in order.
// Empty lines and lines starting with '#' are skipped; letter case is ignored.
//   ok, yes, no, cancel, abort, retry, ignore
//                  the answer to the next message box
//   wait start <program>
//                  wait until the component program <program> (a stub copy in
//                  the --cwd folder) has logged its start
//   wait box       wait until a message box of the program shows (it is left
//                  open for the steps that follow)
//   wait end       wait until the program has ended
//   files <folder> record the names of the files in <folder> (relative to
//                  --cwd) as a "files" event
//   download: <operation>
//                  an operation on the program's download window (a #32770
//                  window with a progress bar), done as soon as one is visible:
//     read [label]             record the window as a "download" event
//     wait-text <text>         wait until its progress text holds <text>
//                              (letter case ignored)
//     start, cancel            BM_CLICK to Start (IDOK) or Cancel (IDCANCEL)
//     key escape               Esc to the window that has the keyboard focus
//     close                    WM_SYSCOMMAND SC_CLOSE, as its close box sends
//     screenshot <name>, picture <name>
//                              as the dialog's, of the download window
//   second [arguments]
//                  start another copy of the program (same file and folder)
//                  with these arguments, wait until it ends, and record its
//                  exit code and what has the foreground then as a "second"
//                  event (foreground: dialog, popup (a window the dialog
//                  owns), none or other)
//   release <program>
//                  let a holding stub copy go on (creates <program>.go beside
//                  it); releases left when the program has ended are done then
//                  Steps wait for what the program shows, never for a time: the
//                  bounds below only end a case that went wrong.
//   dialog: <operation>
//                  an operation on the program's own dialog (the #32770 window
//                  with a list view), done as soon as the dialog is visible:
//     read [label]             record the dialog's state as a "dialog" event
//     click-check N [left|right|middle]
//     click-text N [left|right|middle]
//                              press and release a mouse button on row N's
//                              check box or on its text (rows count from 0);
//                              the point is found with LVM_HITTEST
//     double-click-check N [button], double-click-text N [button]
//                              the same as a double click (down, up, double-click, up)
//     select N                 make row N the focused, selected row and the
//                              selection mark, as the arrow keys would
//     space N                  select N, then the space bar to the list
//     key <name>               a key press (down and up) to the window that has
//                              the keyboard focus, through the dialog's own
//                              message loop: escape, enter, space, tab, up,
//                              down, left, right, home, end
//     list-key <name>          the same, sent to the list itself
//     continue, exit           BM_CLICK to button 1 or 2
//     command ok|cancel        WM_COMMAND IDOK or IDCANCEL to the dialog, as the
//                              dialog manager sends it
//     close                    WM_SYSCOMMAND SC_CLOSE to the dialog, as its close
//                              box or the taskbar's Close sends it
//     key alt-f4               Alt+F4 (system key messages) to the focus window
//     screenshot <name>        ask run_e2e.py for a picture of the dialog: writes
//                              shot-<name>.request beside the log and waits for
//                              shot-<name>.done
//     picture <name>           save the dialog's window as the screen shows it
//                              (frame included) as <name>.bmp beside the log
//     metrics                  record what the dialog's texts have room for as a
//                              "metrics" event: the dialog font (MS Shell Dlg 2,
//                              8 pt) at the screen's dpi, its height and the
//                              widths of U+0020 to U+017F, its dialog base units,
//                              and the client sizes of the message, the Continue
//                              button, the list and row 0's label
// A message box that appears while the next step is a dialog operation waits
// for it when the dialog is visible (so the dialog can be read while its box
// is open); otherwise, and when the script has run out, the box is answered
// with its first button and the log says so. Every operation waits until the
// program has taken it (a marker message posted after it has been handled),
// until the dialog has gone, or, for continue/enter/command, until the run
// has disabled the dialog.
//
// The log is UTF-8, one JSON object per line, in the order things happened:
//   {"start":{"exe":"...","pid":N}}
//   {"box":{"caption":"...","text":"...","buttons":["YES","NO"],"icon":"question",
//           "owner":"none|dialog|other"},
//    "answer":"yes","by":"script","icon_scores":{...}}
//                         by: script, or default (the script had run out, or
//                         "pending" names the dialog step that was next)
//   {"dialog":{...},"shown":true}     the dialog as first seen
//   {"dialog":{...},"by":"script","step":"read","label":"..."}
//                         the dialog object: caption, enabled, style, exstyle,
//                         client, icons, ping_ms (how long a WM_NULL took; -1: no
//                         answer within 1.5 s), rect and work_area (screen),
//                         message, continue, exit, list, selector ({text,
//                         enabled, visible} or null), focus (control ID; -1 the
//                         dialog, -2 another window, 0 none), focus_class,
//                         default_id, selection_mark, row_count, and rows: text,
//                         image (state image: 2 checked, 1 unchecked), locked
//                         (user data not 0), param, read, selected, focused,
//                         ink ({rgb, grey}: the text's colour on the screen)
//   {"step":"...","by":"script","result":"taken|gone|disabled|...",...}
//   {"window":{"kind":"other_dialog","class":"#32770","caption":"..."}}
//                         a window that is neither a box nor the dialog, noted once
//   {"exit":N,"tick":T}   the program ended by itself with code N at GetTickCount T
//   {"timeout":S}         the program was still running after S seconds and was ended
//   {"foreign_window":{"caption":"...","class":"...","pid":N},"closed":true}
//                         after the program ended: a window of another process
//                         named with --foreign-window, found and closed
//   {"error":"..."}       the driver could not do what it was asked
// The driver's own exit code: 0 when the program ended by itself, 2 on a
// timeout, 3 when it could not start the program or read its arguments.

#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "json.h"

namespace {

// ---------------------------------------------------------------- text and JSON

std::string to_utf8(const std::wstring& w) {
    if (w.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), nullptr, 0, nullptr, nullptr);
    std::string s(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.data(), (int)w.size(), &s[0], n, nullptr, nullptr);
    return s;
}

std::wstring from_utf8(const std::string& s) {
    if (s.empty()) return std::wstring();
    int n = MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), nullptr, 0);
    std::wstring w(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, s.data(), (int)s.size(), &w[0], n);
    return w;
}



class Log {
public:
    bool open(const std::wstring& path) {
        f_ = _wfopen(path.c_str(), L"wb");
        return f_ != nullptr;
    }
    // Each line is flushed at once: a driver killed from outside still leaves
    // everything it saw before.
    void line(const std::string& json) {
        if (!f_) return;
        fwrite(json.data(), 1, json.size(), f_);
        fputc('\n', f_);
        fflush(f_);
    }
    ~Log() {
        if (f_) fclose(f_);
    }

private:
    FILE* f_ = nullptr;
};

// ---------------------------------------------------------------- script

struct Step {
    bool dialog = false;             // "dialog: ..." rather than a box answer
    bool download = false;           // "download: ...": for the download window
    bool control = false;            // "wait ..." or "release ...": neither
    std::string text;                // the answer, or the operation after "dialog:"
    std::vector<std::string> words;  // the operation split at blanks
};

struct Script {
    std::vector<Step> steps;
    size_t next = 0;

    const Step* head() const { return next < steps.size() ? &steps[next] : nullptr; }

    bool load(const std::wstring& path) {
        FILE* f = _wfopen(path.c_str(), L"rb");
        if (!f) return false;
        std::string all;
        char buf[4096];
        size_t n;
        while ((n = fread(buf, 1, sizeof buf, f)) > 0) all.append(buf, n);
        fclose(f);
        if (all.compare(0, 3, "\xEF\xBB\xBF") == 0) all.erase(0, 3);
        size_t pos = 0;
        while (pos <= all.size()) {
            size_t eol = all.find('\n', pos);
            if (eol == std::string::npos) eol = all.size();
            std::string l = all.substr(pos, eol - pos);
            pos = eol + 1;
            l = trim(l);
            if (l.empty() || l[0] == '#') continue;
            std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return (char)tolower(c); });
            Step s;
            if (l.compare(0, 7, "dialog:") == 0 || l.compare(0, 9, "download:") == 0) {
                s.download = l[1] == 'o';
                s.dialog = !s.download;
                s.text = trim(l.substr(s.download ? 9 : 7));
                size_t p = 0;
                while (p < s.text.size()) {
                    size_t e = s.text.find(' ', p);
                    if (e == std::string::npos) e = s.text.size();
                    if (e > p) s.words.push_back(s.text.substr(p, e - p));
                    p = e + 1;
                }
            } else {
                s.text = l;
                s.control = l.compare(0, 5, "wait ") == 0 || l.compare(0, 8, "release ") == 0 ||
                            l.compare(0, 6, "files ") == 0 || l == "second" || l.compare(0, 7, "second ") == 0;
            }
            steps.push_back(s);
        }
        return true;
    }

    static std::string trim(std::string l) {
        while (!l.empty() && isspace((unsigned char)l.back())) l.pop_back();
        size_t b = 0;
        while (b < l.size() && isspace((unsigned char)l[b])) ++b;
        return l.substr(b);
    }
};

// ---------------------------------------------------------------- windows of the program

std::wstring class_of(HWND h) {
    wchar_t buf[256] = {0};
    GetClassNameW(h, buf, 256);
    return buf;
}

// WM_GETTEXT is marshalled across processes; the timeout keeps a hung
// program from hanging the driver.
// Not SMTO_ABORTIFHUNG: a thread that waited more than 5 s without reading
// messages (a silent run fetching files) counts as hung until its next
// message box reads its first message, and its texts would read as empty.
std::wstring text_of(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, 5000, &len)) return std::wstring();
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, (WPARAM)buf.size(), (LPARAM)buf.data(), SMTO_NORMAL, 5000, &got))
        return std::wstring();
    return std::wstring(buf.data(), std::min<size_t>(got, len));
}

BOOL CALLBACK collect_child(HWND h, LPARAM p) {
    reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
}

std::vector<HWND> children_of(HWND parent) {
    std::vector<HWND> out;
    EnumChildWindows(parent, collect_child, (LPARAM)&out);
    return out;
}

struct TopLevelQuery {
    DWORD pid;
    std::vector<HWND> found;
};

BOOL CALLBACK collect_visible_top_level(HWND h, LPARAM p) {
    auto* q = reinterpret_cast<TopLevelQuery*>(p);
    DWORD owner = 0;
    GetWindowThreadProcessId(h, &owner);
    if (owner == q->pid && IsWindowVisible(h)) q->found.push_back(h);
    return TRUE;
}

std::vector<HWND> visible_windows_of(DWORD pid) {
    TopLevelQuery q{pid, {}};
    EnumWindows(collect_visible_top_level, (LPARAM)&q);
    return q.found;
}

// The processes that `parent` started, by their identifiers.
std::vector<DWORD> children_of_process(DWORD parent) {
    std::vector<DWORD> out;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return out;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ParentProcessID == parent && entry.th32ProcessID != parent) out.push_back(entry.th32ProcessID);
    CloseHandle(snapshot);
    return out;
}

// The limited token linked to the driver's own (TokenLinkedToken, class 19,
// by number for older headers); null when there is none.
HANDLE linked_limited_token() {
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return nullptr;
    struct { HANDLE linked; } answer = {nullptr};
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(own, static_cast<TOKEN_INFORMATION_CLASS>(19), &answer, sizeof answer, &size);
    CloseHandle(own);
    return ok ? answer.linked : nullptr;
}

bool is_static_icon(HWND h) {
    LONG style = GetWindowLongW(h, GWL_STYLE);
    return (style & SS_TYPEMASK) == SS_ICON;
}

enum class WindowKind { message_box, dialog, download, other_dialog, other };

// A message box, the program's own dialog and its download window all have
// the class "#32770"; the dialog is told apart by its list view, the
// download window by its progress bar.
WindowKind classify(HWND h) {
    if (class_of(h) != L"#32770") return WindowKind::other;
    bool has_text = false, has_button = false;
    for (HWND c : children_of(h)) {
        std::wstring cls = class_of(c);
        if (_wcsicmp(cls.c_str(), L"SysListView32") == 0) return WindowKind::dialog;
        if (_wcsicmp(cls.c_str(), PROGRESS_CLASSW) == 0) return WindowKind::download;
        if (!IsWindowVisible(c)) continue;
        if (_wcsicmp(cls.c_str(), L"Static") == 0 && !is_static_icon(c)) has_text = true;
        if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
            if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) has_button = true;
        }
    }
    return (has_text && has_button) ? WindowKind::message_box : WindowKind::other_dialog;
}

// ---------------------------------------------------------------- message boxes

struct ButtonName {
    int id;
    const char* name;
};
const ButtonName kButtons[] = {
    {IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},     {IDRETRY, "retry"},
    {IDIGNORE, "ignore"}, {IDYES, "yes"},     {IDNO, "no"},           {IDHELP, "help"},
    {IDTRYAGAIN, "tryagain"}, {IDCONTINUE, "continue"},
};

std::string button_name(int id) {
    for (const auto& b : kButtons)
        if (b.id == id) return b.name;
    return "id" + std::to_string(id);
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return (char)toupper(c); });
    return s;
}

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

bool read_message_box(HWND box, MessageBoxView& v) {
    v = MessageBoxView();
    v.caption = text_of(box);
    std::vector<std::wstring> texts;
    for (HWND c : children_of(box)) {
        if (GetParent(c) != box || !IsWindowVisible(c)) continue;
        std::wstring cls = class_of(c);
        if (_wcsicmp(cls.c_str(), L"Static") == 0) {
            if (is_static_icon(c))
                v.icon = c;
            else
                texts.push_back(text_of(c));
        } else if (_wcsicmp(cls.c_str(), L"Button") == 0) {
            LONG type = GetWindowLongW(c, GWL_STYLE) & BS_TYPEMASK;
            if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON) continue;
            RECT r;
            GetWindowRect(c, &r);
            v.buttons.push_back({c, GetDlgCtrlID(c), r.left});
        }
    }
    std::stable_sort(v.buttons.begin(), v.buttons.end(), [](const Button& a, const Button& b) { return a.x < b.x; });
    for (size_t i = 0; i < texts.size(); ++i) v.text += (i ? L"\n" : L"") + texts[i];
    return !v.buttons.empty();
}

// 32-bit top-down pixels of a bitmap that is not selected into a DC.
std::vector<DWORD> bits_of(HBITMAP bmp, int w, int h) {
    std::vector<DWORD> px((size_t)w * h, 0);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    HDC screen = GetDC(nullptr);
    GetDIBits(screen, bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    ReleaseDC(nullptr, screen);
    for (auto& p : px) p &= 0x00FFFFFF;
    return px;
}

// The pixels of a screen area.
std::vector<DWORD> screen_pixels(int x, int y, int w, int h) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, x, y, SRCCOPY);
    SelectObject(mem, old);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    std::vector<DWORD> px = bits_of(bmp, w, h);
    DeleteObject(bmp);
    return px;
}

// A system icon drawn by this process on the given background: at its own
// size from the top-left corner, or stretched to the control's size.
std::vector<DWORD> reference_icon(LPCWSTR id, int w, int h, COLORREF background, bool stretch) {
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    ReleaseDC(nullptr, screen);
    HGDIOBJ old = SelectObject(mem, bmp);
    RECT r = {0, 0, w, h};
    HBRUSH brush = CreateSolidBrush(background);
    FillRect(mem, &r, brush);
    DeleteObject(brush);
    HICON icon = LoadIconW(nullptr, id);
    if (stretch)
        DrawIconEx(mem, 0, 0, icon, w, h, 0, nullptr, DI_NORMAL);
    else
        DrawIconEx(mem, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
    SelectObject(mem, old);
    DeleteDC(mem);
    std::vector<DWORD> px = bits_of(bmp, w, h);
    DeleteObject(bmp);
    return px;
}

// Mean absolute difference per colour channel, 0..255.
double distance(const std::vector<DWORD>& a, const std::vector<DWORD>& b) {
    if (a.size() != b.size() || a.empty()) return 255.0;
    double sum = 0;
    for (size_t i = 0; i < a.size(); ++i)
        for (int shift = 0; shift < 24; shift += 8)
            sum += std::abs((int)((a[i] >> shift) & 0xFF) - (int)((b[i] >> shift) & 0xFF));
    return sum / (a.size() * 3.0);
}

struct IconGuess {
    std::string name = "none";
    std::string scores_json;  // for the log, to explain a guess
};

const struct {
    LPCWSTR id;
    const char* name;
} kIcons[] = {
    {IDI_HAND, "error"},
    {IDI_EXCLAMATION, "warning"},
    {IDI_ASTERISK, "information"},
    {IDI_QUESTION, "question"},
};

// Compares the screen pixels of the icon control with the system icons.
// The box may not have painted yet when it first shows, so a capture that
// matches nothing well is retried for a while.
IconGuess identify_icon(HWND icon_control) {
    IconGuess g;
    if (!icon_control) return g;
    // A box without an icon may still show an empty icon control. Its handle
    // cannot be compared across processes, but whether there is one can.
    DWORD_PTR handle = 0;
    if (SendMessageTimeoutW(icon_control, STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 2000, &handle) && handle == 0)
        return g;
    // An exact match scores 0; the closest two system icons (information
    // and question) are about 5 apart.
    const double good_enough = 2.0;
    DWORD deadline = GetTickCount() + 15000;
    for (;;) {
        RECT r;
        GetWindowRect(icon_control, &r);
        int w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0) {
            g.name = "unknown";
            g.scores_json = "{}";
            return g;
        }
        std::vector<DWORD> shot = screen_pixels(r.left, r.top, w, h);
        COLORREF bg = RGB(GetBValue(shot[0]), GetGValue(shot[0]), GetRValue(shot[0]));  // DIB is BGR

        double best = 1e9, second = 1e9;
        std::string best_name = "unknown";
        g.scores_json = "{";
        for (size_t i = 0; i < sizeof kIcons / sizeof kIcons[0]; ++i) {
            double d = std::min(distance(shot, reference_icon(kIcons[i].id, w, h, bg, false)),
                                distance(shot, reference_icon(kIcons[i].id, w, h, bg, true)));
            char buf[64];
            snprintf(buf, sizeof buf, "%s\"%s\":%.2f", i ? "," : "", kIcons[i].name, d);
            g.scores_json += buf;
            if (d < best) {
                second = best;
                best = d;
                best_name = kIcons[i].name;
            } else if (d < second) {
                second = d;
            }
        }
        g.scores_json += "}";
        if (best <= good_enough && second - best >= good_enough) {
            g.name = best_name;
            return g;
        }
        if ((LONG)(GetTickCount() - deadline) >= 0 || !IsWindow(icon_control)) {
            g.name = "unknown";
            return g;
        }
        Sleep(50);
    }
}

// ---------------------------------------------------------------- the program's dialog

// Messages to another process's windows, with a timeout so that a hung
// program cannot hang the driver. False when the message was not answered.
bool send(HWND h, UINT msg, WPARAM w, LPARAM l, DWORD_PTR* result = nullptr, UINT timeout_ms = 10000) {
    DWORD_PTR r = 0;
    BOOL ok = SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, timeout_ms, &r) != 0;
    if (result) *result = r;
    return ok;
}

// Memory in the program's address space, for list-view messages whose
// argument is a pointer: the list reads and writes it in its own process.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, size_t size) : process_(process), size_(size) {
        base_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
    ~RemoteBuffer() {
        if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
    }
    RemoteBuffer(const RemoteBuffer&) = delete;
    RemoteBuffer& operator=(const RemoteBuffer&) = delete;
    bool ok() const { return base_ != nullptr; }
    LPARAM at(size_t offset) const { return (LPARAM)((char*)base_ + offset); }
    bool write(size_t offset, const void* data, size_t n) {
        SIZE_T done = 0;
        return offset + n <= size_ && WriteProcessMemory(process_, (char*)base_ + offset, data, n, &done) && done == n;
    }
    bool read(size_t offset, void* data, size_t n) {
        SIZE_T done = 0;
        return offset + n <= size_ && ReadProcessMemory(process_, (char*)base_ + offset, data, n, &done) && done == n;
    }

private:
    HANDLE process_;
    size_t size_;
    void* base_ = nullptr;
};

constexpr int kMessageId = 1002;
constexpr int kDownloadMessageId = 1101;
constexpr int kDownloadBarId = 1102;
constexpr int kDownloadStatusId = 1103;
constexpr int kListId = 1003;
constexpr int kSelectorId = 1004;

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
    long ping_ms = -1;  // how long the dialog took to answer a WM_NULL; -1: not within 1.5 s
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

// The colour a row's text is drawn in, read from the screen: of the pixels
// of the row's label, the one farthest from the background (the most common
// colour there). -1 when nothing stands out (not painted, or covered).
long row_ink(HANDLE process, HWND list, int index) {
    RemoteBuffer mem(process, sizeof(RECT));
    RECT r = {};
    r.left = LVIR_LABEL;
    DWORD_PTR ok = 0;
    if (!mem.ok() || !mem.write(0, &r, sizeof r) || !send(list, LVM_GETITEMRECT, index, mem.at(0), &ok) || !ok ||
        !mem.read(0, &r, sizeof r))
        return -1;
    RECT client;
    GetClientRect(list, &client);
    r.right = std::min(r.right, client.right);
    r.bottom = std::min(r.bottom, client.bottom);
    if (r.right - r.left < 2 || r.bottom - r.top < 2) return -1;
    POINT at = {r.left, r.top};
    ClientToScreen(list, &at);
    std::vector<DWORD> px = screen_pixels(at.x, at.y, r.right - r.left, r.bottom - r.top);
    std::map<DWORD, int> count;
    for (DWORD p : px) ++count[p];
    DWORD background = 0;
    int most = 0;
    for (const auto& c : count)
        if (c.second > most) most = c.second, background = c.first;
    auto channel = [](DWORD p, int shift) { return (int)((p >> shift) & 0xFF); };
    int best = 0;
    long ink = -1;
    for (const auto& c : count) {
        int d = 0;
        for (int shift = 0; shift < 24; shift += 8) d += std::abs(channel(c.first, shift) - channel(background, shift));
        if (d > best) best = d, ink = (long)c.first;
    }
    return best >= 90 ? ink : -1;
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

DialogView read_dialog(HANDLE process, HWND dlg) {
    DialogView v;
    v.caption = text_of(dlg);
    v.enabled = IsWindowEnabled(dlg) != FALSE;
    v.style = GetWindowLongW(dlg, GWL_STYLE);
    v.exstyle = GetWindowLongW(dlg, GWL_EXSTYLE);
    GetClientRect(dlg, &v.client);
    // Whether the dialog answers: a program that waits without handling its
    // messages does not while its component runs (cases hold the component
    // until the read is done, so a slow machine never looks like a frozen
    // dialog).
    DWORD before = GetTickCount();
    DWORD_PTR ignored = 0;
    if (SendMessageTimeoutW(dlg, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 10000, &ignored))
        v.ping_ms = (long)(GetTickCount() - before);
    // A mouse move over the picture, as the system announces it: the dialog
    // sets its cursor on its own thread before the message returns.
    CURSORINFO ci = {};
    ci.cbSize = sizeof ci;
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
    v.message = read_control(dlg, kMessageId);
    v.ok = read_control(dlg, IDOK);
    v.cancel = read_control(dlg, IDCANCEL);
    v.list = read_control(dlg, kListId);
    v.list.text.clear();
    v.selector = read_control(dlg, kSelectorId);

    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gui) && gui.hwndFocus) {
        if (gui.hwndFocus == dlg) {
            v.focus_id = -1;
        } else if (IsChild(dlg, gui.hwndFocus)) {
            v.focus_id = GetDlgCtrlID(gui.hwndFocus);
        } else {
            v.focus_id = -2;
        }
        v.focus_class = class_of(gui.hwndFocus);
    }
    DWORD_PTR def = 0;
    if (send(dlg, DM_GETDEFID, 0, 0, &def) && HIWORD(def) == DC_HASDEFID) v.default_id = LOWORD(def);

    HWND list = GetDlgItem(dlg, kListId);
    if (list) {
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
    return v;
}

std::string json_bool(bool b) { return b ? "true" : "false"; }

std::string json_rect(const RECT& r) {
    return "[" + std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
           std::to_string(r.bottom) + "]";
}

std::string json_control(const ControlView& c) {
    if (!c.exists) return "null";
    return "{\"text\":" + json_string(c.text) + ",\"enabled\":" + json_bool(c.enabled) +
           ",\"visible\":" + json_bool(c.visible) + "}";
}

// A row's text colour, and whether it is the grey text colour rather than
// the usual one (nearest of the two system colours).
std::string ink_json(long ink) {
    if (ink < 0) return "null";
    auto gap = [ink](int sys) {
        COLORREF c = GetSysColor(sys);  // 0x00BBGGRR
        return std::abs((int)GetRValue(c) - (int)((ink >> 16) & 0xFF)) +
               std::abs((int)GetGValue(c) - (int)((ink >> 8) & 0xFF)) + std::abs((int)GetBValue(c) - (int)(ink & 0xFF));
    };
    char buf[64];
    snprintf(buf, sizeof buf, "{\"rgb\":\"#%06lx\",\"grey\":%s}", (unsigned long)ink,
             gap(COLOR_GRAYTEXT) < gap(COLOR_WINDOWTEXT) ? "true" : "false");
    return buf;
}

// Cursor handles belong to their process, and Wine does not tell another
// process a window class's cursor: the cursor the dialog shows when it first
// appears, before any run, stands for its class's own (the arrow).
HCURSOR g_class_cursor = nullptr;

std::string cursor_kind(HCURSOR seen) {
    if (!seen) return "none";
    return seen == g_class_cursor ? "class" : "own";
}

std::string json_dialog(const DialogView& v) {
    char style[64];
    snprintf(style, sizeof style, "\"style\":%lu,\"exstyle\":%lu,", (unsigned long)(DWORD)v.style,
             (unsigned long)(DWORD)v.exstyle);
    std::string s = "{\"caption\":" + json_string(v.caption) + ",\"enabled\":" + json_bool(v.enabled) + "," + style +
                    "\"client\":" + json_rect(v.client) + ",\"icons\":{\"big\":" + json_bool(v.big_icon) +
                    ",\"small\":" + json_bool(v.small_icon) + "},\"ping_ms\":" + std::to_string(v.ping_ms) +
                    ",\"cursor\":" + json_string(cursor_kind(v.cursor)) +
                    ",\"rect\":" + json_rect(v.window) + ",\"work_area\":" + json_rect(v.work) +
                    ",\"message\":" + json_control(v.message) + ",\"continue\":" + json_control(v.ok) +
                    ",\"exit\":" + json_control(v.cancel) + ",\"list\":" + json_control(v.list) +
                    ",\"selector\":" + json_control(v.selector) + ",\"focus\":" + std::to_string(v.focus_id) +
                    ",\"focus_class\":" + json_string(v.focus_class) + ",\"default_id\":" + std::to_string(v.default_id) +
                    ",\"selection_mark\":" + std::to_string(v.selection_mark) +
                    ",\"row_count\":" + std::to_string(v.row_count) + ",\"rows\":[";
    for (size_t i = 0; i < v.rows.size(); ++i) {
        const RowView& r = v.rows[i];
        s += (i ? "," : "");
        s += "{\"text\":" + json_string(r.text) + ",\"image\":" + std::to_string(r.image) +
             ",\"locked\":" + json_bool(r.read && r.param != 0) + ",\"param\":" + std::to_string((long long)r.param) +
             ",\"read\":" + json_bool(r.read) + ",\"selected\":" + json_bool(r.selected) +
             ",\"focused\":" + json_bool(r.focused) + ",\"ink\":" + ink_json(r.ink) + "}";
    }
    return s + "]}";
}

// Where on row N a click lands on its check box or on its text: the list's own
// hit test is asked along the middle of the row.
struct RowPoints {
    bool ok = false;
    POINT check = {};
    POINT text = {};
    bool has_check = false, has_text = false;
    RECT bounds = {};
};

RowPoints find_row_points(HANDLE process, HWND list, int index) {
    RowPoints p;
    RemoteBuffer mem(process, sizeof(RECT) + sizeof(LVHITTESTINFO));
    if (!mem.ok()) return p;
    RECT r = {};
    r.left = LVIR_BOUNDS;
    DWORD_PTR ok = 0;
    if (!mem.write(0, &r, sizeof r) || !send(list, LVM_GETITEMRECT, index, mem.at(0), &ok) || !ok ||
        !mem.read(0, &r, sizeof r))
        return p;
    p.bounds = r;
    const int y = (r.top + r.bottom) / 2;
    int check_from = -1, check_to = -1, text_from = -1, text_to = -1;
    const int right = std::min<LONG>(r.right, r.left + 600);
    for (int x = std::max<LONG>(r.left, 0); x < right; ++x) {
        LVHITTESTINFO hit = {};
        hit.pt.x = x;
        hit.pt.y = y;
        DWORD_PTR item = (DWORD_PTR)-1;
        if (!mem.write(sizeof(RECT), &hit, sizeof hit) || !send(list, LVM_HITTEST, 0, mem.at(sizeof(RECT)), &item) ||
            !mem.read(sizeof(RECT), &hit, sizeof hit))
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

struct KeyName {
    const char* name;
    UINT vk;
};
const KeyName kKeys[] = {
    {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE}, {"enter", VK_RETURN}, {"return", VK_RETURN},
    {"space", VK_SPACE},   {"tab", VK_TAB},    {"up", VK_UP},        {"down", VK_DOWN},
    {"left", VK_LEFT},     {"right", VK_RIGHT}, {"home", VK_HOME},   {"end", VK_END},
};

UINT key_code(const std::string& name) {
    for (const auto& k : kKeys)
        if (name == k.name) return k.vk;
    return 0;
}

LPARAM key_lparam(UINT vk, bool up) {
    LPARAM l = 1 | ((LPARAM)(MapVirtualKeyW(vk, 0 /* MAPVK_VK_TO_VSC */) & 0xFF) << 16);
    if (up) l |= (1u << 30) | (1u << 31);
    return l;
}

// ---------------------------------------------------------------- the run

struct Options {
    std::wstring exe, cwd, script, log;
    double timeout = 60;
    // The program starts with the limited token linked to the driver's, and
    // the windows of the processes it starts count as its own.
    bool limited = false;
    std::wstring extra_args;
    std::vector<std::wstring> foreign_windows;
};

std::wstring quote_arg(const std::wstring& a) {
    if (!a.empty() && a.find_first_of(L" \t\"") == std::wstring::npos) return a;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++backslashes;
        } else if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
            out += c;
            backslashes = 0;
            continue;
        } else {
            backslashes = 0;
        }
        out += c;
    }
    out.append(backslashes, L'\\');
    return out + L"\"";
}

bool parse_args(int argc, wchar_t** argv, Options& o) {
    for (int i = 1; i < argc; ++i) {
        std::wstring a = argv[i];
        if (a == L"--") {
            for (int j = i + 1; j < argc; ++j) o.extra_args += L" " + quote_arg(argv[j]);
            break;
        }
        if (a == L"--limited") {
            o.limited = true;
            continue;
        }
        if (i + 1 >= argc) return false;
        std::wstring v = argv[++i];
        if (a == L"--exe") o.exe = v;
        else if (a == L"--cwd") o.cwd = v;
        else if (a == L"--script") o.script = v;
        else if (a == L"--log") o.log = v;
        else if (a == L"--timeout") o.timeout = _wtof(v.c_str());
        else if (a == L"--foreign-window") o.foreign_windows.push_back(v);
        else return false;
    }
    return !o.exe.empty() && !o.log.empty() && o.timeout > 0;
}

std::wstring lower(std::wstring s) {
    for (auto& c : s) c = towlower(c);
    return s;
}

struct ForeignQuery {
    DWORD skip_pid1, skip_pid2;
    std::wstring part;
    HWND found;
};

BOOL CALLBACK find_foreign(HWND h, LPARAM p) {
    auto* q = reinterpret_cast<ForeignQuery*>(p);
    DWORD pid = 0;
    GetWindowThreadProcessId(h, &pid);
    if (pid == q->skip_pid1 || pid == q->skip_pid2 || !IsWindowVisible(h)) return TRUE;
    if (lower(text_of(h)).find(lower(q->part)) == std::wstring::npos) return TRUE;
    q->found = h;
    return FALSE;
}

class Driver {
public:
    Driver(Log& log, Script& script) : log_(log), script_(script) {}

    void set_folder(const std::wstring& cwd) { folder_ = cwd.empty() || cwd.back() == L'\\' ? cwd : cwd + L"\\"; }

    // Runs the program to its end; returns the driver's exit code.
    int run(const Options& o) {
        exe_ = o.exe;
        cwd_ = o.cwd;
        std::wstring cmd = quote_arg(o.exe) + o.extra_args;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        const wchar_t* folder = o.cwd.empty() ? nullptr : o.cwd.c_str();
        if (o.limited) {
            HANDLE token = linked_limited_token();
            if (token == nullptr) {
                log_.line("{\"error\":" +
                          json_string("no linked limited token, error " + std::to_string(GetLastError())) + "}");
                return 3;
            }
            const BOOL started = CreateProcessAsUserW(token, o.exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0,
                                                      nullptr, folder, &si, &pi);
            const DWORD error = GetLastError();
            CloseHandle(token);
            if (!started) {
                log_.line("{\"error\":" + json_string("CreateProcessAsUserW failed, error " + std::to_string(error)) +
                          "}");
                return 3;
            }
            limited_ = true;
        } else if (!CreateProcessW(o.exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi)) {
            log_.line("{\"error\":" + json_string("CreateProcessW failed, error " + std::to_string(GetLastError())) +
                      "}");
            return 3;
        }
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        log_folder_ = o.log.substr(0, o.log.find_last_of(L"\\/") + 1);
        log_.line("{\"start\":{\"exe\":" + json_string(o.exe) + ",\"pid\":" + std::to_string(pid_) + "}}");
        deadline_ = GetTickCount() + (DWORD)(o.timeout * 1000);

        for (;;) {
            if (WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) break;
            if (timed_out()) return stop_on_timeout(o.timeout);
            look_at_windows();
        }
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        log_.line("{\"exit\":" + std::to_string(code) + ",\"tick\":" + std::to_string(GetTickCount()) + "}");
        CloseHandle(process_);
        // What waited for the end, and stubs that still hold (a component
        // not waited for), go on now.
        while (script_.head() && script_.head()->control && control_step_done(*script_.head(), {}, true))
            ++script_.next;
        for (const auto& part : o.foreign_windows) close_foreign_window(part);
        return 0;
    }

private:
    bool timed_out() const { return (LONG)(GetTickCount() - deadline_) >= 0; }

    int stop_on_timeout(double seconds) {
        TerminateProcess(process_, 1);
        WaitForSingleObject(process_, 5000);
        char buf[64];
        snprintf(buf, sizeof buf, "{\"timeout\":%g}", seconds);
        log_.line(buf);
        CloseHandle(process_);
        return 2;
    }

    // The program's windows; started limited, also those of the processes it
    // started (the copy of itself that asks for rights).
    std::vector<HWND> target_windows() const {
        std::vector<HWND> windows = visible_windows_of(pid_);
        if (!limited_) return windows;
        for (DWORD child : children_of_process(pid_)) {
            const std::vector<HWND> more = visible_windows_of(child);
            windows.insert(windows.end(), more.begin(), more.end());
        }
        return windows;
    }

    bool dialog_visible() const { return dialog_ && IsWindow(dialog_) && IsWindowVisible(dialog_); }

    // One look at the program's windows: notes the dialog when it first
    // shows, does the next dialog step, or answers a box.
    void look_at_windows() {
        std::vector<HWND> windows = target_windows();
        if (!dialog_) {
            for (HWND h : windows) {
                if (classify(h) == WindowKind::dialog) {
                    dialog_ = h;
                    on_dialog_shown();
                    return;
                }
            }
        }
        const Step* head = script_.head();
        if (head && head->control) {
            if (control_step_done(*head, windows, false)) {
                ++script_.next;
                return;
            }
            // A box that comes meanwhile is answered with its first button
            // and logged with the step that was waiting (the case then
            // says so), unless a box is what the step waits for.
            if (head->text == "wait box") return;
        }
        if (head && head->dialog && dialog_visible()) {
            ++script_.next;
            do_dialog_step(*head);
            return;
        }
        if (head && head->download) {
            for (HWND h : windows) {
                if (classify(h) != WindowKind::download) continue;
                if (do_download_step(*head, h)) ++script_.next;
                return;
            }
        }
        for (HWND h : windows) {
            if (seen_.count(h) || h == dialog_) continue;
            if (!handle_window(h)) return;  // windows changed: look again
        }
    }

    // Returns false when it acted on the window, so the caller looks anew.
    bool handle_window(HWND h) {
        switch (classify(h)) {
        case WindowKind::message_box: {
            const Step* head = script_.head();
            // The dialog's next step comes first while the dialog is there.
            if (head && head->dialog && dialog_visible()) return true;
            return !answer_message_box(h);
        }
        case WindowKind::dialog:
            if (dialog_ && h != dialog_) note_window(h, "second_dialog");
            return true;
        case WindowKind::download:
            return true;
        case WindowKind::other_dialog: {
            // Not recognisable yet: a box caught while it is being built
            // would look like this, so look again for a while first.
            auto first = first_seen_.insert({h, GetTickCount()}).first;
            if (GetTickCount() - first->second >= 1000) note_window(h, "other_dialog");
            return true;
        }
        case WindowKind::other:
            note_window(h, "other");
            return true;
        }
        return true;
    }

    void note_window(HWND h, const char* kind) {
        seen_.insert(h);
        log_.line(std::string("{\"window\":{\"kind\":\"") + kind + "\",\"class\":" + json_string(class_of(h)) +
                  ",\"caption\":" + json_string(text_of(h)) + "}}");
    }

    // ------------------------------------------------------------ steps that wait

    // True once the step has what it waits for (and has done its part).
    bool control_step_done(const Step& s, const std::vector<HWND>& windows, bool ended) {
        if (s.text.compare(0, 8, "release ") == 0) {
            release(s);
            return true;
        }
        if (s.text == "wait end") {
            if (ended) log_.line("{\"step\":" + json_string(s.text) + ",\"by\":\"script\",\"result\":\"taken\",\"tick\":" +
                      std::to_string(GetTickCount()) + "}");
            return ended;
        }
        if (s.text == "wait box") {
            for (HWND h : windows) {
                if (seen_.count(h) || h == dialog_ || classify(h) != WindowKind::message_box) continue;
                MessageBoxView v;
                if (!read_message_box(h, v)) continue;  // still being built
                log_.line("{\"step\":" + json_string(s.text) + ",\"by\":\"script\",\"result\":\"taken\",\"tick\":" +
                      std::to_string(GetTickCount()) + "}");
                return true;
            }
            return false;
        }
        if (s.text == "second" || s.text.compare(0, 7, "second ") == 0) {
            run_second(s);
            return true;
        }
        if (s.text.compare(0, 6, "files ") == 0) {
            std::wstring folder = folder_ + from_utf8(s.text.substr(6));
            std::string names;
            WIN32_FIND_DATAW found;
            HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
            if (search != INVALID_HANDLE_VALUE) {
                do {
                    std::wstring name = found.cFileName;
                    if (name == L"." || name == L"..") continue;
                    names += (names.empty() ? "" : ",") + json_string(name);
                } while (FindNextFileW(search, &found));
                FindClose(search);
            }
            log_.line("{\"files\":[" + names + "],\"folder\":" + json_string(s.text.substr(6)) +
                      ",\"tick\":" + std::to_string(GetTickCount()) + "}");
            log_.line("{\"step\":" + json_string(s.text) + ",\"by\":\"script\",\"result\":\"taken\",\"tick\":" +
                      std::to_string(GetTickCount()) + "}");
            return true;
        }
        if (s.text.compare(0, 11, "wait start ") == 0) {
            const std::wstring log = folder_ + from_utf8(s.text.substr(11)) + L".log";
            if (GetFileAttributesW(log.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
            log_.line("{\"step\":" + json_string(s.text) + ",\"by\":\"script\",\"result\":\"taken\",\"tick\":" +
                      std::to_string(GetTickCount()) + "}");
            return true;
        }
        step_error(s, "unknown step");
        return true;
    }

    void release(const Step& s) {
        const std::wstring go = folder_ + from_utf8(s.text.substr(8)) + L".go";
        FILE* f = _wfopen(go.c_str(), L"wb");
        if (f) fclose(f);
        log_.line("{\"step\":" + json_string(s.text) + ",\"by\":\"script\",\"result\":\"" +
                  (f ? "taken" : "error") + "\"}");
    }

    // ------------------------------------------------------------ message boxes

    // Records the box once, answers it, and waits until it is gone.
    // Returns false when the box was not ready to be read yet.
    bool answer_message_box(HWND box) {
        const DWORD seen_at = GetTickCount();
        MessageBoxView v;
        if (!read_message_box(box, v)) return false;
        IconGuess icon = identify_icon(v.icon);
        seen_.insert(box);

        std::string answer, by, pending;
        const Step* head = script_.head();
        if (head && !head->dialog) {
            answer = head->text;
            by = "script";
            ++script_.next;
        } else {
            answer = button_name(v.buttons.front().id);
            by = "default";  // the script ran out, or its next step is for the dialog
            if (head) pending = script_line(*head);
        }
        HWND owner = GetWindow(box, GW_OWNER);
        // The program's dialog owns the box also when it never showed (a run
        // started during its initialisation).
        const char* owner_kind =
            !owner ? "none" : (owner == dialog_ || classify(owner) == WindowKind::dialog) ? "dialog" : "other";
        const Button* target = nullptr;
        for (const auto& b : v.buttons)
            if (button_name(b.id) == answer) target = &b;
        std::string line = "{\"box\":{\"caption\":" + json_string(v.caption) + ",\"text\":" + json_string(v.text) +
                           ",\"buttons\":[";
        for (size_t i = 0; i < v.buttons.size(); ++i)
            line += (i ? "," : "") + json_string(upper(button_name(v.buttons[i].id)).c_str());
        line += "],\"icon\":\"" + icon.name + "\",\"owner\":\"" + owner_kind + "\"},\"answer\":" +
                json_string(answer.c_str()) + ",\"by\":\"" + by + "\",\"tick\":" + std::to_string(seen_at);
        if (!pending.empty()) line += ",\"pending\":" + json_string(pending);
        if (!icon.scores_json.empty()) line += ",\"icon_scores\":" + icon.scores_json;
        if (!target) {
            // The box has no such button: say so and take the first one, so
            // the run goes on and the log shows the mismatch.
            line += ",\"script_mismatch\":true";
            target = &v.buttons.front();
        }
        line += "}";
        log_.line(line);

        press(box, *target);
        DWORD repress_at = GetTickCount() + 3000;
        while (IsWindow(box) && IsWindowVisible(box)) {
            if (WaitForSingleObject(process_, 10) == WAIT_OBJECT_0) break;
            if (timed_out()) break;
            if ((LONG)(GetTickCount() - repress_at) >= 0) {
                log_.line("{\"error\":\"the box did not close within 3 s of its answer; pressing again\"}");
                press(box, *target);
                repress_at = GetTickCount() + 3000;
            }
        }
        return true;
    }

    static void press(HWND box, const Button& b) {
        // WM_COMMAND with the button's id is what the button itself sends its
        // dialog when clicked; posting it never blocks on the program.
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(b.id, BN_CLICKED), (LPARAM)b.hwnd);
    }

    // ------------------------------------------------------------ the dialog

    void on_dialog_shown() {
        // Let the dialog finish showing (activation, focus) before reading it.
        settle(false);
        const DialogView first = read_dialog(process_, dialog_);
        g_class_cursor = first.cursor;
        log_.line("{\"dialog\":" + json_dialog(first) + ",\"shown\":true}");
    }

    HWND list() const { return GetDlgItem(dialog_, kListId); }

    // Waits until the program has handled everything posted to it so far: a
    // marker (the list's hover time, which only matters for hot tracking,
    // which this list does not use) is posted behind the input and read back.
    // Also ends when the dialog is gone and, with until_disabled, when the
    // run has disabled it. Returns what ended the wait.
    std::string settle(bool until_disabled) {
        HWND lv = list();
        if (!lv) return "no_list";
        DWORD_PTR original = 0;
        send(lv, LVM_GETHOVERTIME, 0, 0, &original, 1000);
        const DWORD marker = 0x51E70000u + (++markers_ & 0xFFFF);
        PostMessageW(lv, LVM_SETHOVERTIME, 0, marker);
        const DWORD until = GetTickCount() + 30000;
        for (;;) {
            if (!IsWindow(lv) || !IsWindow(dialog_) || !IsWindowVisible(dialog_)) return "gone";
            if (until_disabled && !IsWindowEnabled(dialog_)) return "disabled";
            DWORD_PTR now = 0;
            if (send(lv, LVM_GETHOVERTIME, 0, 0, &now, 200) && now == marker) {
                send(lv, LVM_SETHOVERTIME, 0, original, nullptr, 1000);
                return "taken";
            }
            if (WaitForSingleObject(process_, 5) == WAIT_OBJECT_0) return "ended";
            if ((LONG)(GetTickCount() - until) >= 0) return "not_taken";
        }
    }

    // The step as the log names it: "download: " steps with their prefix.
    static std::string step_name(const Step& s) { return s.download ? "download: " + s.text : s.text; }
    // The step as the script writes it.
    static std::string script_line(const Step& s) { return s.dialog ? "dialog: " + s.text : step_name(s); }

    void step_done(const Step& s, const std::string& result, const std::string& extra = std::string()) {
        std::string line = "{\"step\":" + json_string(step_name(s)) + ",\"by\":\"script\",\"result\":" + json_string(result) + extra +
                           ",\"tick\":" + std::to_string(GetTickCount()) + "}";
        log_.line(line);
        if (result == "not_taken")
            log_.line("{\"error\":" + json_string("the program did not take \"dialog: " + s.text + "\" within 30 s") + "}");
    }

    void step_error(const Step& s, const std::string& why) {
        log_.line("{\"step\":" + json_string(step_name(s)) + ",\"by\":\"script\",\"result\":\"error\"}");
        log_.line("{\"error\":" + json_string(script_line(s) + ": " + why) + "}");
    }

    bool row_arg(const Step& s, size_t i, int& row) {
        if (s.words.size() <= i) return false;
        char* end = nullptr;
        long v = strtol(s.words[i].c_str(), &end, 10);
        if (!end || *end) return false;
        row = (int)v;
        return true;
    }

    void post_key(HWND target, UINT vk) {
        PostMessageW(target, WM_KEYDOWN, vk, key_lparam(vk, false));
    }

    // A key press: down, then (once the program has taken it and anything it
    // produced, such as WM_CHAR) up.
    std::string press_key(HWND target, UINT vk, bool until_disabled, bool alt = false) {
        const LPARAM context = alt ? (1 << 29) : 0;  // Alt held: a system key
        PostMessageW(target, alt ? WM_SYSKEYDOWN : WM_KEYDOWN, vk, key_lparam(vk, false) | context);
        std::string r = settle(until_disabled);
        if (r != "taken") return r;
        if (!IsWindow(target)) return "gone";
        PostMessageW(target, alt ? WM_SYSKEYUP : WM_KEYUP, vk, key_lparam(vk, true) | context);
        r = settle(until_disabled);
        // What the key made the program post to itself (a close request) too.
        return r == "taken" ? settle(until_disabled) : r;
    }

    bool select_row(int row) {
        RemoteBuffer mem(process_, sizeof(LVITEMW));
        if (!mem.ok()) return false;
        LVITEMW item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        if (!mem.write(0, &item, sizeof item)) return false;
        DWORD_PTR ok = 0;
        if (!send(list(), LVM_SETITEMSTATE, row, mem.at(0), &ok) || !ok) return false;
        return send(list(), LVM_SETSELECTIONMARK, 0, row);
    }

    void do_dialog_step(const Step& s) {
        const std::string op = s.words.empty() ? std::string() : s.words[0];
        if (op == "read") {
            std::string label = s.words.size() > 1 ? s.text.substr(s.text.find(' ') + 1) : std::string();
            log_.line("{\"dialog\":" + json_dialog(read_dialog(process_, dialog_)) +
                      ",\"by\":\"script\",\"step\":\"read\",\"label\":" + json_string(label) + "}");
            return;
        }
        if (op == "click-check" || op == "click-text" || op == "double-click-check" || op == "double-click-text") {
            int row = 0;
            if (!row_arg(s, 1, row)) return step_error(s, "which row?");
            std::string button = s.words.size() > 2 ? s.words[2] : "left";
            UINT down, up, dbl;
            WPARAM keys;
            if (button == "left") down = WM_LBUTTONDOWN, up = WM_LBUTTONUP, dbl = WM_LBUTTONDBLCLK, keys = MK_LBUTTON;
            else if (button == "right") down = WM_RBUTTONDOWN, up = WM_RBUTTONUP, dbl = WM_RBUTTONDBLCLK, keys = MK_RBUTTON;
            else if (button == "middle") down = WM_MBUTTONDOWN, up = WM_MBUTTONUP, dbl = WM_MBUTTONDBLCLK, keys = MK_MBUTTON;
            else return step_error(s, "unknown button " + button);
            RowPoints p = find_row_points(process_, list(), row);
            if (!p.ok) return step_error(s, "the row has no rectangle");
            const bool twice = op.compare(0, 7, "double-") == 0;
            const bool on_check = op == "click-check" || op == "double-click-check";
            if (on_check ? !p.has_check : !p.has_text)
                return step_error(s, on_check ? "no point of the row hits its check box" : "no point of the row hits its text");
            POINT at = on_check ? p.check : p.text;
            LPARAM where = MAKELPARAM(at.x, at.y);
            PostMessageW(list(), down, keys, where);
            PostMessageW(list(), up, 0, where);
            if (twice) {
                // What a double click sends after the first press and release.
                PostMessageW(list(), dbl, keys, where);
                PostMessageW(list(), up, 0, where);
            }
            std::string r = settle(false);
            char extra[96];
            snprintf(extra, sizeof extra, ",\"at\":[%ld,%ld],\"row_rect\":", at.x, at.y);
            return step_done(s, r, extra + json_rect(p.bounds));
        }
        if (op == "select") {
            int row = 0;
            if (!row_arg(s, 1, row)) return step_error(s, "which row?");
            if (!select_row(row)) return step_error(s, "LVM_SETITEMSTATE failed");
            return step_done(s, settle(false));
        }
        if (op == "space") {
            int row = 0;
            if (!row_arg(s, 1, row)) return step_error(s, "which row?");
            if (!select_row(row)) return step_error(s, "LVM_SETITEMSTATE failed");
            return step_done(s, press_key(list(), VK_SPACE, false));
        }
        if (op == "key" || op == "list-key") {
            const bool alt = s.words.size() > 1 && s.words[1] == "alt-f4";
            UINT vk = alt ? VK_F4 : s.words.size() > 1 ? key_code(s.words[1]) : 0;
            if (!vk) return step_error(s, "unknown key");
            HWND target = list();
            if (op == "key") {
                GUITHREADINFO gui = {};
                gui.cbSize = sizeof gui;
                target = dialog_;
                if (GetGUIThreadInfo(GetWindowThreadProcessId(dialog_, nullptr), &gui) && gui.hwndFocus)
                    target = gui.hwndFocus;
            }
            std::string cls = class_of(target).empty() ? "" : to_utf8(class_of(target));
            return step_done(s, press_key(target, vk, vk == VK_RETURN, alt), ",\"to\":" + json_string(cls) +
                                                                            ",\"to_id\":" + std::to_string(GetDlgCtrlID(target)));
        }
        if (op == "continue" || op == "exit") {
            HWND button = GetDlgItem(dialog_, op == "continue" ? IDOK : IDCANCEL);
            if (!button) return step_error(s, "no such button");
            PostMessageW(button, BM_CLICK, 0, 0);
            return step_done(s, settle(op == "continue"));
        }
        if (op == "command") {
            std::string which = s.words.size() > 1 ? s.words[1] : "";
            int id = which == "ok" ? IDOK : which == "cancel" ? IDCANCEL : 0;
            if (!id) return step_error(s, "command ok or command cancel");
            PostMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)GetDlgItem(dialog_, id));
            return step_done(s, settle(id == IDOK));
        }
        if (op == "close") {
            // What the close box of the title bar (or the taskbar's Close) sends.
            PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
            return step_done(s, settle(false));
        }
        if (op == "screenshot") {
            std::string name = s.words.size() > 1 ? s.words[1] : "dialog";
            return screenshot(s, name);
        }
        if (op == "metrics") return metrics(s);
        if (op == "picture") return picture(s, s.words.size() > 1 ? s.words[1] : "dialog");
        step_error(s, "unknown operation");
    }

    // ------------------------------------------------------------ the download window

    // True when the step is done (a wait-text that is not met yet is not).
    bool do_download_step(const Step& s, HWND window) {
        const std::string op = s.words.empty() ? std::string() : s.words[0];
        auto done = [&](const std::string& result, const std::string& extra = std::string()) {
            log_.line("{\"step\":" + json_string("download: " + s.text) + ",\"by\":\"script\",\"result\":" +
                      json_string(result) + extra + ",\"tick\":" + std::to_string(GetTickCount()) + "}");
            return true;
        };
        if (op == "read") {
            std::string label = s.words.size() > 1 ? s.text.substr(s.text.find(' ') + 1) : std::string();
            log_.line("{\"download\":" + json_download(window) + ",\"label\":" + json_string(label) + "}");
            return done("taken");
        }
        if (op == "wait-text") {
            const std::wstring wanted = lower(from_utf8(s.text.substr(s.text.find(' ') + 1)));
            return lower(text_of(GetDlgItem(window, kDownloadStatusId))).find(wanted) != std::wstring::npos &&
                   done("taken");
        }
        if (op == "start" || op == "cancel") {
            PostMessageW(GetDlgItem(window, op == "start" ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
            return done("posted");
        }
        if (op == "key" && s.words.size() > 1 && key_code(s.words[1])) {
            GUITHREADINFO gui = {};
            gui.cbSize = sizeof gui;
            HWND target = window;
            if (GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &gui) && gui.hwndFocus)
                target = gui.hwndFocus;
            const UINT vk = key_code(s.words[1]);
            PostMessageW(target, WM_KEYDOWN, vk, key_lparam(vk, false));
            PostMessageW(target, WM_KEYUP, vk, key_lparam(vk, true));
            return done("posted");
        }
        if (op == "close") {
            PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
            return done("posted");
        }
        if (op == "screenshot") {
            screenshot(s, s.words.size() > 1 ? s.words[1] : "download", window);
            return true;
        }
        if (op == "picture") {
            picture(s, s.words.size() > 1 ? s.words[1] : "download", window);
            return true;
        }
        step_error(s, "unknown download operation");
        return true;
    }

    std::string json_download(HWND w) {
        HWND bar = GetDlgItem(w, kDownloadBarId);
        DWORD_PTR pos = 0, high = 0;
        send(bar, PBM_GETPOS, 0, 0, &pos);
        send(bar, PBM_GETRANGE, FALSE, 0, &high);
        HWND owner = GetWindow(w, GW_OWNER);
        std::string s = "{\"caption\":" + json_string(text_of(w)) + ",\"message\":" +
                        json_string(text_of(GetDlgItem(w, kDownloadMessageId))) + ",\"status\":" +
                        json_string(text_of(GetDlgItem(w, kDownloadStatusId))) + ",\"bar\":{\"pos\":" +
                        std::to_string(pos) + ",\"max\":" + std::to_string(high) + ",\"moving\":" +
                        json_bool((GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0) + "},\"start\":" +
                        json_control(read_control(w, IDOK)) + ",\"cancel\":" + json_control(read_control(w, IDCANCEL)) +
                        ",\"owner\":\"" + (owner == nullptr ? "none" : owner == dialog_ ? "dialog" : "other") + "\"";
        if (dialog_) {
            // The installer dialog behind it: painted and answering.
            DWORD_PTR ignored = 0;
            const DWORD before = GetTickCount();
            const bool answered =
                SendMessageTimeoutW(dialog_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 10000, &ignored) != 0;
            s += ",\"dialog_enabled\":" + json_bool(IsWindowEnabled(dialog_) != FALSE) + ",\"dialog_ping_ms\":" +
                 std::to_string(answered ? (long)(GetTickCount() - before) : -1L);
        }
        return s + "}";
    }

    void picture(const Step& s, const std::string& name, HWND window = nullptr) {
        if (window == nullptr) window = dialog_;
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        settle(false);
        RECT r;
        GetWindowRect(window, &r);
        const int w = r.right - r.left, h = r.bottom - r.top;
        if (w <= 0 || h <= 0) return step_error(s, "the dialog has no size");
        const std::vector<DWORD> px = screen_pixels(r.left, r.top, w, h);
        // A 24-bit bottom-up BMP, each row padded to four bytes.
        const int stride = (w * 3 + 3) & ~3;
        std::vector<unsigned char> pixels((size_t)stride * h, 0);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const DWORD p = px[(size_t)(h - 1 - y) * w + x];
                unsigned char* at = &pixels[(size_t)y * stride + x * 3];
                at[0] = p & 0xFF, at[1] = (p >> 8) & 0xFF, at[2] = (p >> 16) & 0xFF;
            }
        BITMAPFILEHEADER file = {};
        BITMAPINFOHEADER info = {};
        file.bfType = 0x4D42;
        file.bfOffBits = sizeof file + sizeof info;
        file.bfSize = file.bfOffBits + (DWORD)pixels.size();
        info.biSize = sizeof info;
        info.biWidth = w;
        info.biHeight = h;
        info.biPlanes = 1;
        info.biBitCount = 24;
        info.biCompression = BI_RGB;
        info.biSizeImage = (DWORD)pixels.size();
        FILE* f = _wfopen((log_folder_ + from_utf8(name) + L".bmp").c_str(), L"wb");
        if (!f) return step_error(s, "cannot write the picture");
        const bool written = fwrite(&file, sizeof file, 1, f) == 1 && fwrite(&info, sizeof info, 1, f) == 1 &&
                             fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
        fclose(f);
        if (!written) return step_error(s, "cannot write the picture");
        step_done(s, "taken", ",\"rect\":" + json_rect(r));
    }

    void metrics(const Step& s) {
        HDC dc = GetDC(nullptr);
        LOGFONTW lf = {};
        lf.lfHeight = -MulDiv(8, GetDeviceCaps(dc, LOGPIXELSY), 72);
        lf.lfCharSet = DEFAULT_CHARSET;
        lstrcpyW(lf.lfFaceName, L"MS Shell Dlg 2");
        HFONT font = CreateFontIndirectW(&lf);
        HGDIOBJ previous = SelectObject(dc, font);
        TEXTMETRICW tm = {};
        GetTextMetricsW(dc, &tm);
        wchar_t face[LF_FACESIZE] = L"";
        GetTextFaceW(dc, LF_FACESIZE, face);
        const wchar_t letters[] = L"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
        SIZE all = {};
        GetTextExtentPoint32W(dc, letters, 52, &all);
        std::string widths;
        for (wchar_t c = 0x20; c < 0x180; ++c) {
            SIZE one = {};
            GetTextExtentPoint32W(dc, &c, 1, &one);
            widths += (widths.empty() ? "" : ",") + std::to_string(one.cx);
        }
        SelectObject(dc, previous);
        DeleteObject(font);
        const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
        ReleaseDC(nullptr, dc);

        auto client = [this](int id) {
            RECT r = {};
            GetClientRect(GetDlgItem(dialog_, id), &r);
            return json_rect(r);
        };
        RECT label = {};
        label.left = LVIR_LABEL;
        RemoteBuffer mem(process_, sizeof(RECT));
        DWORD_PTR ok = 0;
        if (!mem.ok() || !mem.write(0, &label, sizeof label) ||
            !send(GetDlgItem(dialog_, kListId), LVM_GETITEMRECT, 0, mem.at(0), &ok) || !ok ||
            !mem.read(0, &label, sizeof label))
            label = RECT{};
        log_.line("{\"metrics\":{\"dpi\":" + std::to_string(dpi) + ",\"face\":" + json_string(face) +
                  ",\"height\":" + std::to_string(tm.tmHeight) + ",\"base_units\":[" +
                  std::to_string((all.cx / 26 + 1) / 2) + "," + std::to_string(tm.tmHeight) + "],\"message\":" +
                  client(kMessageId) + ",\"button\":" + client(IDOK) + ",\"list\":" + client(kListId) +
                  ",\"label\":" + json_rect(label) + ",\"widths\":[" + widths + "]}}");
        step_done(s, "taken");
    }

    void screenshot(const Step& s, const std::string& name, HWND window = nullptr) {
        if (window == nullptr) window = dialog_;
        // Everything drawn first: repaint now, then let queued work finish.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        settle(false);
        RECT r;
        GetWindowRect(window, &r);
        std::wstring base = log_folder_ + L"shot-" + from_utf8(name);
        std::wstring done = base + L".done";
        DeleteFileW(done.c_str());
        FILE* f = _wfopen((base + L".request").c_str(), L"wb");
        if (!f) return step_error(s, "cannot write the request");
        std::string body = "{\"name\":" + json_string(name) + ",\"rect\":" + json_rect(r) + "}\n";
        fwrite(body.data(), 1, body.size(), f);
        fclose(f);
        const DWORD until = GetTickCount() + 20000;
        while (GetFileAttributesW(done.c_str()) == INVALID_FILE_ATTRIBUTES) {
            if ((LONG)(GetTickCount() - until) >= 0) return step_error(s, "no screenshot within 20 s");
            Sleep(20);
        }
        step_done(s, "taken", ",\"rect\":" + json_rect(r));
    }

    // ------------------------------------------------------------ afterwards

    void close_foreign_window(const std::wstring& part) {
        ForeignQuery q{GetCurrentProcessId(), pid_, part, nullptr};
        const DWORD until = GetTickCount() + 60000;
        while (EnumWindows(find_foreign, (LPARAM)&q), !q.found) {
            if ((LONG)(GetTickCount() - until) >= 0) {
                log_.line("{\"foreign_window\":null,\"wanted\":" + json_string(part) + "}");
                return;
            }
            Sleep(20);
        }
        DWORD pid = 0;
        GetWindowThreadProcessId(q.found, &pid);
        std::string seen = "{\"caption\":" + json_string(text_of(q.found)) + ",\"class\":" + json_string(class_of(q.found)) +
                           ",\"pid\":" + std::to_string(pid) + "}";
        // Closed as a person would; ended by its id when it does not go.
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
        PostMessageW(q.found, WM_CLOSE, 0, 0);
        bool closed = process && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
        if (process && !closed) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
        }
        if (process) CloseHandle(process);
        log_.line("{\"foreign_window\":" + seen + ",\"wanted\":" + json_string(part) + ",\"closed\":" + json_bool(closed) + "}");
    }

    Log& log_;
    Script& script_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    bool limited_ = false;
    DWORD deadline_ = 0;
    std::wstring log_folder_;
    HWND dialog_ = nullptr;
    std::wstring folder_;  // the program's folder (--cwd), where the stubs are
    std::wstring exe_, cwd_;  // how the program was started

    // Another copy of the program, waited for; its exit code and the
    // foreground window once it has ended.
    void run_second(const Step& s) {
        std::wstring cmd = quote_arg(exe_) + from_utf8(s.text.substr(6));
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(exe_.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                            cwd_.empty() ? nullptr : cwd_.c_str(), &si, &pi)) {
            step_error(s, "the second copy cannot be started");
            return;
        }
        CloseHandle(pi.hThread);
        const DWORD waited = WaitForSingleObject(pi.hProcess, 60000);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        if (waited != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 2);
        CloseHandle(pi.hProcess);
        HWND front = GetForegroundWindow();
        const char* foreground = front == nullptr ? "none"
                                 : front == dialog_ ? "dialog"
                                 : (dialog_ != nullptr && GetWindow(front, GW_OWNER) == dialog_) ? "popup"
                                                                                                  : "other";
        log_.line("{\"second\":{\"exit\":" + std::to_string(waited == WAIT_OBJECT_0 ? (long long)code : -1LL) +
                  ",\"foreground\":\"" + foreground + "\"},\"tick\":" + std::to_string(GetTickCount()) + "}");
        log_.line("{\"step\":" + json_string(s.text) + ",\"by\":\"script\",\"result\":\"taken\",\"tick\":" +
                  std::to_string(GetTickCount()) + "}");
    }
    DWORD markers_ = 0;
    std::set<HWND> seen_;
    std::map<HWND, DWORD> first_seen_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!parse_args(argc, argv, o)) {
        fwprintf(stderr,
                 L"usage: e2e_driver.exe --exe <program> --cwd <folder> --script <file> --log <file> "
                 L"--timeout <seconds> [--limited] [--foreign-window <caption part>]... [-- <program arguments>]\n");
        return 3;
    }
    Log log;
    if (!log.open(o.log)) {
        fwprintf(stderr, L"e2e_driver: cannot write the log %ls\n", o.log.c_str());
        return 3;
    }
    Script script;
    if (!o.script.empty() && !script.load(o.script)) {
        log.line("{\"error\":" + json_string(L"cannot read the script " + o.script) + "}");
        return 3;
    }
    Driver d(log, script);
    d.set_folder(o.cwd);
    return d.run(o);
}
