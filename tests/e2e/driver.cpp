// e2e_driver.exe: runs a program under test and operates its windows the way
// a person would, writing what it saw to a log that run_e2e.py reads.
//
//   e2e_driver.exe --exe <program> --cwd <folder> --script <file>
//                  --log <file> --timeout <seconds> [-- <program arguments>]
//
// The script has one answer per line ("ok", "yes", "no", "cancel", "abort",
// "retry", "ignore"), consumed in order by the message boxes. Empty lines and
// lines starting with '#' are skipped. When the script runs out, a box is
// answered with its first button and the log says so.
//
// The log is UTF-8, one JSON object per line, in the order things happened:
//   {"start":{"exe":"...","pid":N}}
//   {"box":{"caption":"...","text":"...","buttons":["YES","NO"],"icon":"question"},
//    "answer":"yes","by":"script","icon_scores":{...}}
//   {"window":{"kind":"dialog","class":"#32770","caption":"..."}}
//                         a window that is not a message box, noted once;
//                         kind: dialog (the program's own, with its list
//                         view), other_dialog, other
//   {"exit":N}            the program ended by itself with code N
//   {"timeout":S}         the program was still running after S seconds and was ended
//   {"error":"..."}       the driver could not do what it was asked
// The driver's own exit code: 0 when the program ended by itself, 2 on a
// timeout, 3 when it could not start the program or read its arguments.

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <map>
#include <set>
#include <string>
#include <vector>

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

// A JSON string literal; non-ASCII stays as UTF-8, control characters are escaped.
std::string json_str(const std::wstring& w) {
    std::string in = to_utf8(w), out = "\"";
    for (unsigned char c : in) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out += (char)c;
            }
        }
    }
    return out + "\"";
}

std::string json_str(const std::string& s) { return json_str(from_utf8(s)); }
std::string json_str(const char* s) { return json_str(from_utf8(s)); }

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

struct Script {
    std::vector<std::string> answers;
    size_t next = 0;

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
            while (!l.empty() && isspace((unsigned char)l.back())) l.pop_back();
            size_t b = 0;
            while (b < l.size() && isspace((unsigned char)l[b])) ++b;
            l = l.substr(b);
            if (l.empty() || l[0] == '#') continue;
            std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return (char)tolower(c); });
            answers.push_back(l);
        }
        return true;
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
std::wstring text_of(HWND h) {
    DWORD_PTR len = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 2000, &len)) return std::wstring();
    std::vector<wchar_t> buf(len + 2, L'\0');
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutW(h, WM_GETTEXT, (WPARAM)buf.size(), (LPARAM)buf.data(), SMTO_ABORTIFHUNG, 2000, &got))
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

bool is_static_icon(HWND h) {
    LONG style = GetWindowLongW(h, GWL_STYLE);
    return (style & SS_TYPEMASK) == SS_ICON;
}

enum class WindowKind { message_box, dialog, other_dialog, other };

// Both a message box and the program's own dialog have the class "#32770";
// the program's dialog is told apart by its list view.
WindowKind classify(HWND h) {
    if (class_of(h) != L"#32770") return WindowKind::other;
    bool has_text = false, has_button = false;
    for (HWND c : children_of(h)) {
        std::wstring cls = class_of(c);
        if (_wcsicmp(cls.c_str(), L"SysListView32") == 0) return WindowKind::dialog;
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
    DWORD deadline = GetTickCount() + 2000;
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

// ---------------------------------------------------------------- the run

struct Options {
    std::wstring exe, cwd, script, log;
    double timeout = 60;
    std::wstring extra_args;
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
        if (i + 1 >= argc) return false;
        std::wstring v = argv[++i];
        if (a == L"--exe") o.exe = v;
        else if (a == L"--cwd") o.cwd = v;
        else if (a == L"--script") o.script = v;
        else if (a == L"--log") o.log = v;
        else if (a == L"--timeout") o.timeout = _wtof(v.c_str());
        else return false;
    }
    return !o.exe.empty() && !o.log.empty() && o.timeout > 0;
}

class Driver {
public:
    Driver(Log& log, Script& script) : log_(log), script_(script) {}

    // Runs the program to its end; returns the driver's exit code.
    int run(const Options& o) {
        std::wstring cmd = quote_arg(o.exe) + o.extra_args;
        STARTUPINFOW si = {};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi = {};
        if (!CreateProcessW(o.exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                            o.cwd.empty() ? nullptr : o.cwd.c_str(), &si, &pi)) {
            log_.line("{\"error\":" + json_str("CreateProcessW failed, error " + std::to_string(GetLastError())) +
                      "}");
            return 3;
        }
        CloseHandle(pi.hThread);
        process_ = pi.hProcess;
        pid_ = pi.dwProcessId;
        log_.line("{\"start\":{\"exe\":" + json_str(o.exe) + ",\"pid\":" + std::to_string(pid_) + "}}");
        deadline_ = GetTickCount() + (DWORD)(o.timeout * 1000);

        for (;;) {
            if (WaitForSingleObject(process_, 20) == WAIT_OBJECT_0) break;
            if (timed_out()) return stop_on_timeout(o.timeout);
            for (HWND h : visible_windows_of(pid_)) {
                if (seen_.count(h)) continue;
                if (!handle_window(h)) break;  // windows changed: enumerate again
            }
        }
        DWORD code = 0;
        GetExitCodeProcess(process_, &code);
        log_.line("{\"exit\":" + std::to_string(code) + "}");
        CloseHandle(process_);
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

    // Returns false when it acted on the window, so the caller enumerates anew.
    bool handle_window(HWND h) {
        switch (classify(h)) {
        case WindowKind::message_box:
            return !answer_message_box(h);
        case WindowKind::dialog:
            // The program's own dialog: only noted for now.
            note_window(h, "dialog");
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
        log_.line(std::string("{\"window\":{\"kind\":\"") + kind + "\",\"class\":" + json_str(class_of(h)) +
                  ",\"caption\":" + json_str(text_of(h)) + "}}");
    }

    // Records the box once, answers it, and waits until it is gone.
    // Returns false when the box was not ready to be read yet.
    bool answer_message_box(HWND box) {
        MessageBoxView v;
        if (!read_message_box(box, v)) return false;
        IconGuess icon = identify_icon(v.icon);
        seen_.insert(box);

        std::string answer, by;
        if (script_.next < script_.answers.size()) {
            answer = script_.answers[script_.next++];
            by = "script";
        } else {
            answer = button_name(v.buttons.front().id);
            by = "default";  // the script ran out: the first button
        }
        const Button* target = nullptr;
        for (const auto& b : v.buttons)
            if (button_name(b.id) == answer) target = &b;
        std::string line = "{\"box\":{\"caption\":" + json_str(v.caption) + ",\"text\":" + json_str(v.text) +
                           ",\"buttons\":[";
        for (size_t i = 0; i < v.buttons.size(); ++i)
            line += (i ? "," : "") + json_str(upper(button_name(v.buttons[i].id)).c_str());
        line += "],\"icon\":\"" + icon.name + "\"},\"answer\":" + json_str(answer.c_str()) + ",\"by\":\"" + by +
                "\"";
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

    Log& log_;
    Script& script_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    DWORD deadline_ = 0;
    std::set<HWND> seen_;
    std::map<HWND, DWORD> first_seen_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Options o;
    if (!parse_args(argc, argv, o)) {
        fwprintf(stderr,
                 L"usage: e2e_driver.exe --exe <program> --cwd <folder> --script <file> --log <file> "
                 L"--timeout <seconds> [-- <program arguments>]\n");
        return 3;
    }
    Log log;
    if (!log.open(o.log)) {
        fwprintf(stderr, L"e2e_driver: cannot write the log %ls\n", o.log.c_str());
        return 3;
    }
    Script script;
    if (!o.script.empty() && !script.load(o.script)) {
        log.line("{\"error\":" + json_str(L"cannot read the script " + o.script) + "}");
        return 3;
    }
    Driver d(log, script);
    return d.run(o);
}
