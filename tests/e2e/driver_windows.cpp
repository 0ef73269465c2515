#include "driver_windows.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cwchar>

namespace e2e {

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

std::wstring lower(std::wstring s) {
    for (auto& c : s) c = towlower(c);
    return s;
}

namespace {

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

bool is_static_icon(HWND h) {
    LONG style = GetWindowLongW(h, GWL_STYLE);
    return (style & SS_TYPEMASK) == SS_ICON;
}

bool is_push_button(HWND h) {
    const LONG type = GetWindowLongW(h, GWL_STYLE) & BS_TYPEMASK;
    return type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON;
}

bool class_is(const std::wstring& cls, const wchar_t* name) { return _wcsicmp(cls.c_str(), name) == 0; }

}  // namespace

std::vector<HWND> visible_windows_of(DWORD pid) {
    TopLevelQuery q{pid, {}};
    EnumWindows(collect_visible_top_level, (LPARAM)&q);
    return q.found;
}

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

HWND focus_window(HWND w) {
    GUITHREADINFO gui = {};
    gui.cbSize = sizeof gui;
    if (GetGUIThreadInfo(GetWindowThreadProcessId(w, nullptr), &gui)) return gui.hwndFocus;
    return nullptr;
}

bool send(HWND h, UINT msg, WPARAM w, LPARAM l, DWORD_PTR* result, UINT timeout_ms) {
    DWORD_PTR r = 0;
    BOOL ok = SendMessageTimeoutW(h, msg, w, l, SMTO_ABORTIFHUNG, timeout_ms, &r) != 0;
    if (result) *result = r;
    return ok;
}

long ping(HWND h, UINT ms) {
    DWORD_PTR ignored = 0;
    const DWORD before = GetTickCount();
    if (!SendMessageTimeoutW(h, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, ms, &ignored)) return -1;
    return (long)(GetTickCount() - before);
}

RemoteBuffer::RemoteBuffer(HANDLE process, size_t size) : process_(process), size_(size) {
    base_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer() {
    if (base_) VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
}

bool RemoteBuffer::write(size_t offset, const void* data, size_t n) {
    SIZE_T done = 0;
    return offset + n <= size_ && WriteProcessMemory(process_, (char*)base_ + offset, data, n, &done) && done == n;
}

bool RemoteBuffer::read(size_t offset, void* data, size_t n) {
    SIZE_T done = 0;
    return offset + n <= size_ && ReadProcessMemory(process_, (char*)base_ + offset, data, n, &done) && done == n;
}

bool item_rect(HANDLE process, HWND list, int index, int part, RECT& r) {
    RemoteBuffer mem(process, sizeof(RECT));
    r = RECT{};
    r.left = part;
    DWORD_PTR ok = 0;
    return mem.ok() && mem.write(0, &r, sizeof r) && send(list, LVM_GETITEMRECT, index, mem.at(0), &ok) && ok &&
           mem.read(0, &r, sizeof r);
}

// A message box, the program's own dialog and its download window all have
// the class "#32770"; the dialog is told apart by its list view, the
// download window by its progress bar.
WindowKind classify(HWND h) {
    if (class_of(h) != L"#32770") return WindowKind::other;
    bool has_text = false, has_button = false;
    for (HWND c : children_of(h)) {
        std::wstring cls = class_of(c);
        if (class_is(cls, L"SysListView32")) return WindowKind::dialog;
        if (class_is(cls, PROGRESS_CLASSW)) return WindowKind::download;
        if (!IsWindowVisible(c)) continue;
        if (class_is(cls, L"Static") && !is_static_icon(c)) has_text = true;
        if (class_is(cls, L"Button") && is_push_button(c)) has_button = true;
    }
    return (has_text && has_button) ? WindowKind::message_box : WindowKind::other_dialog;
}

// ---------------------------------------------------------------- message boxes

namespace {

struct ButtonName {
    int id;
    const char* name;
};
const ButtonName kButtons[] = {
    {IDOK, "ok"},       {IDCANCEL, "cancel"}, {IDABORT, "abort"},     {IDRETRY, "retry"},
    {IDIGNORE, "ignore"}, {IDYES, "yes"},     {IDNO, "no"},           {IDHELP, "help"},
    {IDTRYAGAIN, "tryagain"}, {IDCONTINUE, "continue"},
};

}  // namespace

std::string button_name(int id) {
    for (const auto& b : kButtons)
        if (b.id == id) return b.name;
    return "id" + std::to_string(id);
}

bool read_message_box(HWND box, MessageBoxView& v) {
    v = MessageBoxView();
    v.caption = text_of(box);
    std::vector<std::wstring> texts;
    for (HWND c : children_of(box)) {
        if (GetParent(c) != box || !IsWindowVisible(c)) continue;
        std::wstring cls = class_of(c);
        if (class_is(cls, L"Static")) {
            if (is_static_icon(c))
                v.icon = c;
            else
                texts.push_back(text_of(c));
        } else if (class_is(cls, L"Button") && is_push_button(c)) {
            RECT r;
            GetWindowRect(c, &r);
            v.buttons.push_back({c, GetDlgCtrlID(c), r.left});
        }
    }
    std::stable_sort(v.buttons.begin(), v.buttons.end(), [](const Button& a, const Button& b) { return a.x < b.x; });
    for (size_t i = 0; i < texts.size(); ++i) v.text += (i ? L"\n" : L"") + texts[i];
    return !v.buttons.empty();
}

// ---------------------------------------------------------------- the download window

DownloadView read_download(HWND w, HWND dialog) {
    DownloadView v;
    HWND bar = GetDlgItem(w, kDownloadBarId);
    send(bar, PBM_GETPOS, 0, 0, &v.pos);
    send(bar, PBM_GETRANGE, FALSE, 0, &v.max);
    v.moving = (GetWindowLongW(bar, GWL_STYLE) & PBS_MARQUEE) != 0;
    v.caption = text_of(w);
    v.message = text_of(GetDlgItem(w, kDownloadMessageId));
    v.status = text_of(GetDlgItem(w, kDownloadStatusId));
    v.start = read_control(w, IDOK);
    v.cancel = read_control(w, IDCANCEL);
    HWND owner = GetWindow(w, GW_OWNER);
    v.owner = owner == nullptr ? "none" : owner == dialog ? "dialog" : "other";
    if (dialog) {
        // The installer dialog behind it: painted and answering.
        v.has_dialog = true;
        v.dialog_ping_ms = ping(dialog, 10000);
        v.dialog_enabled = IsWindowEnabled(dialog) != FALSE;
    }
    return v;
}

// ---------------------------------------------------------------- keys

namespace {

struct KeyName {
    const char* name;
    UINT vk;
};
const KeyName kKeys[] = {
    {"escape", VK_ESCAPE}, {"esc", VK_ESCAPE}, {"enter", VK_RETURN}, {"return", VK_RETURN},
    {"space", VK_SPACE},   {"tab", VK_TAB},    {"up", VK_UP},        {"down", VK_DOWN},
    {"left", VK_LEFT},     {"right", VK_RIGHT}, {"home", VK_HOME},   {"end", VK_END},
};

}  // namespace

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

}  // namespace e2e
