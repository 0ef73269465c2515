// e2e_driver's interpreter: the script's steps and the run that takes them
// in order while it watches the program's windows. The script format and the
// log it writes are described in DRIVER.md.
#pragma once

#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "driver_windows.h"

namespace e2e {

struct Options {
    std::wstring exe, cwd, script, log;
    double timeout = 60;
    // The program starts with the limited token linked to the driver's, and
    // the windows of the processes it starts count as its own.
    bool limited = false;
    std::wstring extra_args;
    std::vector<std::wstring> foreign_windows;
};

// One command-line argument, quoted so that the program's C runtime reads it back.
std::wstring quote_arg(const std::wstring& a);

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

struct Step {
    bool dialog = false;             // "dialog: ..." rather than a box answer
    bool download = false;           // "download: ...": for the download window
    bool control = false;            // "wait ...", "release ...", "files ...", "second": neither
    std::string text;                // the answer, or the operation after "dialog:"
    std::vector<std::string> words;  // the operation split at blanks
};

struct Script {
    std::vector<Step> steps;
    size_t next = 0;

    const Step* head() const { return next < steps.size() ? &steps[next] : nullptr; }
    bool load(const std::wstring& path);
};

class Driver {
public:
    Driver(Log& log, Script& script) : log_(log), script_(script) {}

    // Runs the program to its end; returns the driver's exit code.
    int run(const Options& o);

private:
    // ---- the run (driver_script.cpp)
    int start(const Options& o);
    bool timed_out() const { return (LONG)(GetTickCount() - deadline_) >= 0; }
    int stop_on_timeout(double seconds);
    std::vector<HWND> target_windows() const;
    bool dialog_visible() const { return dialog_ && IsWindow(dialog_) && IsWindowVisible(dialog_); }
    void look_at_windows();
    bool handle_window(HWND h);
    void note_window(HWND h, const char* kind);
    bool control_step_done(const Step& s, const std::vector<HWND>& windows, bool ended);
    void step_taken(const Step& s);
    void list_files(const Step& s);
    void release(const Step& s);
    void run_second(const Step& s);
    bool answer_message_box(HWND box);
    void wait_until_answered(HWND box, const Button& target);
    void close_foreign_window(const std::wstring& part);

    // ---- operations on the dialog and the download window (driver_steps.cpp)
    void on_dialog_shown();
    HWND list() const { return GetDlgItem(dialog_, kListId); }
    std::string settle(bool until_disabled);
    static std::string step_name(const Step& s) { return s.download ? "download: " + s.text : s.text; }
    static std::string script_line(const Step& s) { return s.dialog ? "dialog: " + s.text : step_name(s); }
    void step_done(const Step& s, const std::string& result, const std::string& extra = std::string());
    void step_error(const Step& s, const std::string& why);
    std::string press_key(HWND target, UINT vk, bool until_disabled, bool alt = false);
    bool select_row(int row);
    void do_dialog_step(const Step& s);
    void click_step(const Step& s, const std::string& op);
    void row_step(const Step& s, const std::string& op);
    void key_step(const Step& s, const std::string& op);
    void button_step(const Step& s, const std::string& op);
    bool do_download_step(const Step& s, HWND window);

    // ---- pictures and measures (driver_capture.cpp)
    RECT repainted(HWND window);
    void picture(const Step& s, const std::string& name, HWND window = nullptr);
    void metrics(const Step& s);
    void screenshot(const Step& s, const std::string& name, HWND window = nullptr);

    Log& log_;
    Script& script_;
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
    bool limited_ = false;
    DWORD deadline_ = 0;
    std::wstring log_folder_;
    HWND dialog_ = nullptr;
    // The cursor the dialog showed when it first appeared, before any run.
    HCURSOR class_cursor_ = nullptr;
    std::wstring folder_;     // the program's folder (--cwd), where the stubs are
    std::wstring exe_, cwd_;  // how the program was started
    DWORD markers_ = 0;
    std::set<HWND> seen_;
    std::map<HWND, DWORD> first_seen_;
};

}  // namespace e2e
