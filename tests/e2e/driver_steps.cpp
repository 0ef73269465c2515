// The operations of "dialog:" and "download:" steps: input posted to the
// program's windows the way the system would post it, each waited for until
// the program has taken it.
#include <cstdlib>

#include "base/text.h"
#include "driver_json.h"
#include "driver_script.h"

namespace e2e {

void Driver::on_dialog_shown() {
    // Let the dialog finish showing (activation, focus) before reading it.
    settle(false);
    const DialogView first = read_dialog(process_, dialog_);
    class_cursor_ = first.cursor;
    log_.line("{\"dialog\":" + json_dialog(first, class_cursor_) + ",\"shown\":true}");
}

// Waits until the program has handled everything posted to it so far: a
// marker (the list's hover time, which only matters for hot tracking,
// which this list does not use) is posted behind the input and read back.
// Also ends when the dialog is gone and, with until_disabled, when the
// run has disabled it. Returns what ended the wait.
std::string Driver::settle(bool until_disabled) {
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

void Driver::step_done(const Step& s, const std::string& result, const std::string& extra) {
    log_.line(json_step(step_name(s), result, extra));
    if (result == "not_taken")
        log_.line(json_error("the program did not take \"dialog: " + s.text + "\" within 30 s"));
}

void Driver::step_error(const Step& s, const std::string& why) {
    log_.line(json_step(step_name(s), "error", std::string(), false));
    log_.line(json_error(script_line(s) + ": " + why));
}

namespace {

bool row_arg(const Step& s, size_t i, int& row) {
    if (s.words.size() <= i) return false;
    char* end = nullptr;
    long v = strtol(s.words[i].c_str(), &end, 10);
    if (!end || *end) return false;
    row = (int)v;
    return true;
}

// The words after the operation, as written: a read's label.
std::string rest_of(const Step& s) {
    return s.words.size() > 1 ? s.text.substr(s.text.find(' ') + 1) : std::string();
}

struct MouseButton {
    UINT down, up, dbl;
    WPARAM keys;
};

bool mouse_button(const std::string& name, MouseButton& b) {
    if (name == "left") b = {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, MK_LBUTTON};
    else if (name == "right") b = {WM_RBUTTONDOWN, WM_RBUTTONUP, WM_RBUTTONDBLCLK, MK_RBUTTON};
    else if (name == "middle") b = {WM_MBUTTONDOWN, WM_MBUTTONUP, WM_MBUTTONDBLCLK, MK_MBUTTON};
    else return false;
    return true;
}

}  // namespace

// A key press: down, then (once the program has taken it and anything it
// produced, such as WM_CHAR) up.
std::string Driver::press_key(HWND target, UINT vk, bool until_disabled, bool alt) {
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

bool Driver::select_row(int row) {
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

void Driver::do_dialog_step(const Step& s) {
    const std::string op = s.words.empty() ? std::string() : s.words[0];
    if (op == "read") {
        log_.line("{\"dialog\":" + json_dialog(read_dialog(process_, dialog_), class_cursor_) +
                  ",\"by\":\"script\",\"step\":\"read\",\"label\":" + json_string(rest_of(s)) + "}");
    } else if (op == "click-check" || op == "click-text" || op == "double-click-check" || op == "double-click-text") {
        click_step(s, op);
    } else if (op == "select" || op == "space") {
        row_step(s, op);
    } else if (op == "key" || op == "list-key") {
        key_step(s, op);
    } else if (op == "continue" || op == "exit" || op == "command" || op == "close") {
        button_step(s, op);
    } else if (op == "screenshot") {
        screenshot(s, s.words.size() > 1 ? s.words[1] : "dialog");
    } else if (op == "metrics") {
        metrics(s);
    } else if (op == "picture") {
        picture(s, s.words.size() > 1 ? s.words[1] : "dialog");
    } else {
        step_error(s, "unknown operation");
    }
}

void Driver::click_step(const Step& s, const std::string& op) {
    int row = 0;
    if (!row_arg(s, 1, row)) return step_error(s, "which row?");
    const std::string name = s.words.size() > 2 ? s.words[2] : "left";
    MouseButton button;
    if (!mouse_button(name, button)) return step_error(s, "unknown button " + name);
    RowPoints p = find_row_points(process_, list(), row);
    if (!p.ok) return step_error(s, "the row has no rectangle");
    const bool twice = op.compare(0, 7, "double-") == 0;
    const bool on_check = op == "click-check" || op == "double-click-check";
    if (on_check ? !p.has_check : !p.has_text)
        return step_error(s, on_check ? "no point of the row hits its check box" : "no point of the row hits its text");
    POINT at = on_check ? p.check : p.text;
    LPARAM where = MAKELPARAM(at.x, at.y);
    PostMessageW(list(), button.down, button.keys, where);
    PostMessageW(list(), button.up, 0, where);
    if (twice) {
        // What a double click sends after the first press and release.
        PostMessageW(list(), button.dbl, button.keys, where);
        PostMessageW(list(), button.up, 0, where);
    }
    std::string r = settle(false);
    char extra[96];
    snprintf(extra, sizeof extra, ",\"at\":[%ld,%ld],\"row_rect\":", at.x, at.y);
    step_done(s, r, extra + json_rect(p.bounds));
}

// select N: the row becomes the focused, selected row and the selection
// mark, as the arrow keys would make it; space N then presses the space bar.
void Driver::row_step(const Step& s, const std::string& op) {
    int row = 0;
    if (!row_arg(s, 1, row)) return step_error(s, "which row?");
    if (!select_row(row)) return step_error(s, "LVM_SETITEMSTATE failed");
    step_done(s, op == "space" ? press_key(list(), VK_SPACE, false) : settle(false));
}

void Driver::key_step(const Step& s, const std::string& op) {
    const bool alt = s.words.size() > 1 && s.words[1] == "alt-f4";
    UINT vk = alt ? VK_F4 : s.words.size() > 1 ? key_code(s.words[1]) : 0;
    if (!vk) return step_error(s, "unknown key");
    HWND target = list();
    if (op == "key") {
        HWND focus = focus_window(dialog_);
        target = focus ? focus : dialog_;
    }
    const std::string cls = text::wide_to_utf8(class_of(target));
    step_done(s, press_key(target, vk, vk == VK_RETURN, alt),
              ",\"to\":" + json_string(cls) + ",\"to_id\":" + std::to_string(GetDlgCtrlID(target)));
}

void Driver::button_step(const Step& s, const std::string& op) {
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
    // What the close box of the title bar (or the taskbar's Close) sends.
    PostMessageW(dialog_, WM_SYSCOMMAND, SC_CLOSE, 0);
    step_done(s, settle(false));
}

// True when the step is done (a wait-text that is not met yet is not).
bool Driver::do_download_step(const Step& s, HWND window) {
    const std::string op = s.words.empty() ? std::string() : s.words[0];
    auto done = [&](const std::string& result) {
        log_.line(json_step(step_name(s), result));
        return true;
    };
    if (op == "read") {
        log_.line("{\"download\":" + json_download(read_download(window, dialog_)) +
                  ",\"label\":" + json_string(rest_of(s)) + "}");
        return done("taken");
    }
    if (op == "wait-text") {
        const std::wstring wanted = lower(text::utf8_to_wide(s.text.substr(s.text.find(' ') + 1)));
        return lower(text_of(GetDlgItem(window, kDownloadStatusId))).find(wanted) != std::wstring::npos &&
               done("taken");
    }
    if (op == "start" || op == "cancel") {
        PostMessageW(GetDlgItem(window, op == "start" ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
        return done("posted");
    }
    if (op == "key" && s.words.size() > 1 && key_code(s.words[1])) {
        HWND focus = focus_window(window);
        HWND target = focus ? focus : window;
        const UINT vk = key_code(s.words[1]);
        PostMessageW(target, WM_KEYDOWN, vk, key_lparam(vk, false));
        PostMessageW(target, WM_KEYUP, vk, key_lparam(vk, true));
        return done("posted");
    }
    if (op == "close") {
        PostMessageW(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        return done("posted");
    }
    if (op == "screenshot" || op == "picture") {
        const std::string name = s.words.size() > 1 ? s.words[1] : "download";
        if (op == "screenshot") screenshot(s, name, window);
        else picture(s, name, window);
        return true;
    }
    step_error(s, "unknown download operation");
    return true;
}

}  // namespace e2e
