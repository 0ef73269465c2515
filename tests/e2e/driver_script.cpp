// The run: starts the program, looks at its windows until it ends, and takes
// the script's steps in order; answers message boxes and does the steps that
// wait for something. The operations on the dialog are in driver_steps.cpp.
#include "driver_script.h"

#include <algorithm>

#include "base/text.h"
#include "driver_json.h"

namespace e2e {

namespace {

std::string trim(std::string l) {
    while (!l.empty() && isspace((unsigned char)l.back())) l.pop_back();
    size_t b = 0;
    while (b < l.size() && isspace((unsigned char)l[b])) ++b;
    return l.substr(b);
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// One line of the script, already trimmed and lower-cased.
Step parse_step(const std::string& l) {
    Step s;
    if (starts_with(l, "dialog:") || starts_with(l, "download:")) {
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
        s.control = starts_with(l, "wait ") || starts_with(l, "release ") || starts_with(l, "files ") ||
                    l == "second" || starts_with(l, "second ");
    }
    return s;
}

HANDLE linked_limited_token() {
    // TokenLinkedToken is class 19, by number for older headers.
    HANDLE own = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &own)) return nullptr;
    struct { HANDLE linked; } answer = {nullptr};
    DWORD size = 0;
    const BOOL ok = GetTokenInformation(own, static_cast<TOKEN_INFORMATION_CLASS>(19), &answer, sizeof answer, &size);
    CloseHandle(own);
    return ok ? answer.linked : nullptr;
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

}  // namespace

bool Script::load(const std::wstring& path) {
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
        std::string l = trim(all.substr(pos, eol - pos));
        pos = eol + 1;
        if (l.empty() || l[0] == '#') continue;
        std::transform(l.begin(), l.end(), l.begin(), [](unsigned char c) { return (char)tolower(c); });
        steps.push_back(parse_step(l));
    }
    return true;
}

// Starts the program; 0, or the driver's exit code when it could not.
int Driver::start(const Options& o) {
    std::wstring cmd = quote_arg(o.exe) + o.extra_args;
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    const wchar_t* folder = o.cwd.empty() ? nullptr : o.cwd.c_str();
    if (o.limited) {
        HANDLE token = linked_limited_token();
        if (token == nullptr) {
            log_.line(json_error("no linked limited token, error " + std::to_string(GetLastError())));
            return 3;
        }
        const BOOL started = CreateProcessAsUserW(token, o.exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr,
                                                  folder, &si, &pi);
        const DWORD error = GetLastError();
        CloseHandle(token);
        if (!started) {
            log_.line(json_error("CreateProcessAsUserW failed, error " + std::to_string(error)));
            return 3;
        }
        limited_ = true;
    } else if (!CreateProcessW(o.exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi)) {
        log_.line(json_error("CreateProcessW failed, error " + std::to_string(GetLastError())));
        return 3;
    }
    CloseHandle(pi.hThread);
    process_ = pi.hProcess;
    pid_ = pi.dwProcessId;
    return 0;
}

int Driver::run(const Options& o) {
    exe_ = o.exe;
    cwd_ = o.cwd;
    folder_ = o.cwd.empty() || o.cwd.back() == L'\\' ? o.cwd : o.cwd + L"\\";
    if (const int failed = start(o)) return failed;
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

int Driver::stop_on_timeout(double seconds) {
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
std::vector<HWND> Driver::target_windows() const {
    std::vector<HWND> windows = visible_windows_of(pid_);
    if (!limited_) return windows;
    for (DWORD child : children_of_process(pid_)) {
        const std::vector<HWND> more = visible_windows_of(child);
        windows.insert(windows.end(), more.begin(), more.end());
    }
    return windows;
}

// One look at the program's windows: notes the dialog when it first
// shows, does the next dialog step, or answers a box.
void Driver::look_at_windows() {
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
bool Driver::handle_window(HWND h) {
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

void Driver::note_window(HWND h, const char* kind) {
    seen_.insert(h);
    log_.line(std::string("{\"window\":{\"kind\":\"") + kind + "\",\"class\":" + json_string(class_of(h)) +
              ",\"caption\":" + json_string(text_of(h)) + "}}");
}

// ---------------------------------------------------------------- steps that wait

void Driver::step_taken(const Step& s) { log_.line(json_step(s.text, "taken")); }

// True once the step has what it waits for (and has done its part).
bool Driver::control_step_done(const Step& s, const std::vector<HWND>& windows, bool ended) {
    if (starts_with(s.text, "release ")) {
        release(s);
        return true;
    }
    if (s.text == "wait end") {
        if (ended) step_taken(s);
        return ended;
    }
    if (s.text == "wait box") {
        for (HWND h : windows) {
            if (seen_.count(h) || h == dialog_ || classify(h) != WindowKind::message_box) continue;
            MessageBoxView v;
            if (!read_message_box(h, v)) continue;  // still being built
            step_taken(s);
            return true;
        }
        return false;
    }
    if (s.text == "second" || starts_with(s.text, "second ")) {
        run_second(s);
        return true;
    }
    if (starts_with(s.text, "files ")) {
        list_files(s);
        return true;
    }
    if (starts_with(s.text, "wait start ")) {
        const std::wstring log = folder_ + text::utf8_to_wide(s.text.substr(11)) + L".log";
        if (GetFileAttributesW(log.c_str()) == INVALID_FILE_ATTRIBUTES) return false;
        step_taken(s);
        return true;
    }
    step_error(s, "unknown step");
    return true;
}

void Driver::list_files(const Step& s) {
    std::wstring folder = folder_ + text::utf8_to_wide(s.text.substr(6));
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
    step_taken(s);
}

void Driver::release(const Step& s) {
    const std::wstring go = folder_ + text::utf8_to_wide(s.text.substr(8)) + L".go";
    FILE* f = _wfopen(go.c_str(), L"wb");
    if (f) fclose(f);
    log_.line(json_step(s.text, f ? "taken" : "error", std::string(), false));
}

// Another copy of the program, waited for; its exit code and the
// foreground window once it has ended.
void Driver::run_second(const Step& s) {
    std::wstring cmd = quote_arg(exe_) + text::utf8_to_wide(s.text.substr(6));
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
    step_taken(s);
}

// ---------------------------------------------------------------- message boxes

// Records the box once, answers it, and waits until it is gone.
// Returns false when the box was not ready to be read yet.
bool Driver::answer_message_box(HWND box) {
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
    std::string line = "{\"box\":" + json_box(v, icon.name, owner_kind) + ",\"answer\":" + json_string(answer) +
                       ",\"by\":\"" + by + "\",\"tick\":" + std::to_string(seen_at);
    if (!pending.empty()) line += ",\"pending\":" + json_string(pending);
    if (!icon.scores_json.empty()) line += ",\"icon_scores\":" + icon.scores_json;
    if (!target) {
        // The box has no such button: say so and take the first one, so
        // the run goes on and the log shows the mismatch.
        line += ",\"script_mismatch\":true";
        target = &v.buttons.front();
    }
    log_.line(line + "}");
    wait_until_answered(box, *target);
    return true;
}

// WM_COMMAND with the button's id is what the button itself sends its
// dialog when clicked; posting it never blocks on the program.
void Driver::wait_until_answered(HWND box, const Button& target) {
    const auto press = [&] { PostMessageW(box, WM_COMMAND, MAKEWPARAM(target.id, BN_CLICKED), (LPARAM)target.hwnd); };
    press();
    DWORD repress_at = GetTickCount() + 3000;
    while (IsWindow(box) && IsWindowVisible(box)) {
        if (WaitForSingleObject(process_, 10) == WAIT_OBJECT_0) break;
        if (timed_out()) break;
        if ((LONG)(GetTickCount() - repress_at) >= 0) {
            log_.line(json_error("the box did not close within 3 s of its answer; pressing again"));
            press();
            repress_at = GetTickCount() + 3000;
        }
    }
}

// ---------------------------------------------------------------- afterwards

void Driver::close_foreign_window(const std::wstring& part) {
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
    std::string seen = "{\"caption\":" + json_string(text_of(q.found)) + ",\"class\":" +
                       json_string(class_of(q.found)) + ",\"pid\":" + std::to_string(pid) + "}";
    // Closed as a person would; ended by its id when it does not go.
    HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, pid);
    PostMessageW(q.found, WM_CLOSE, 0, 0);
    bool closed = process && WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
    if (process && !closed) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, 5000);
    }
    if (process) CloseHandle(process);
    log_.line("{\"foreign_window\":" + seen + ",\"wanted\":" + json_string(part) +
              ",\"closed\":" + json_bool(closed) + "}");
}

}  // namespace e2e
