#include "driver_json.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace e2e {

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

namespace {

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
std::string cursor_kind(HCURSOR seen, HCURSOR class_cursor) {
    if (!seen) return "none";
    return seen == class_cursor ? "class" : "own";
}

std::string json_row(const RowView& r) {
    return "{\"text\":" + json_string(r.text) + ",\"image\":" + std::to_string(r.image) +
           ",\"locked\":" + json_bool(r.read && r.param != 0) + ",\"param\":" + std::to_string((long long)r.param) +
           ",\"read\":" + json_bool(r.read) + ",\"selected\":" + json_bool(r.selected) +
           ",\"focused\":" + json_bool(r.focused) + ",\"ink\":" + ink_json(r.ink) + "}";
}

}  // namespace

std::string json_dialog(const DialogView& v, HCURSOR class_cursor) {
    char style[64];
    snprintf(style, sizeof style, "\"style\":%lu,\"exstyle\":%lu,", (unsigned long)(DWORD)v.style,
             (unsigned long)(DWORD)v.exstyle);
    std::string s = "{\"caption\":" + json_string(v.caption) + ",\"enabled\":" + json_bool(v.enabled) + "," + style +
                    "\"client\":" + json_rect(v.client) + ",\"icons\":{\"big\":" + json_bool(v.big_icon) +
                    ",\"small\":" + json_bool(v.small_icon) + "},\"ping_ms\":" + std::to_string(v.ping_ms) +
                    ",\"cursor\":" + json_string(cursor_kind(v.cursor, class_cursor)) +
                    ",\"rect\":" + json_rect(v.window) + ",\"work_area\":" + json_rect(v.work) +
                    ",\"message\":" + json_control(v.message) + ",\"continue\":" + json_control(v.ok) +
                    ",\"exit\":" + json_control(v.cancel) + ",\"list\":" + json_control(v.list) +
                    ",\"selector\":" + json_control(v.selector) + ",\"focus\":" + std::to_string(v.focus_id) +
                    ",\"focus_class\":" + json_string(v.focus_class) + ",\"default_id\":" + std::to_string(v.default_id) +
                    ",\"selection_mark\":" + std::to_string(v.selection_mark) +
                    ",\"row_count\":" + std::to_string(v.row_count) + ",\"rows\":[";
    for (size_t i = 0; i < v.rows.size(); ++i) s += (i ? "," : "") + json_row(v.rows[i]);
    return s + "]}";
}

std::string json_download(const DownloadView& v) {
    std::string s = "{\"caption\":" + json_string(v.caption) + ",\"message\":" + json_string(v.message) +
                    ",\"status\":" + json_string(v.status) + ",\"bar\":{\"pos\":" + std::to_string(v.pos) +
                    ",\"max\":" + std::to_string(v.max) + ",\"moving\":" + json_bool(v.moving) +
                    "},\"start\":" + json_control(v.start) + ",\"cancel\":" + json_control(v.cancel) +
                    ",\"owner\":\"" + v.owner + "\"";
    if (v.has_dialog)
        s += ",\"dialog_enabled\":" + json_bool(v.dialog_enabled) + ",\"dialog_ping_ms\":" +
             std::to_string(v.dialog_ping_ms);
    return s + "}";
}

std::string json_box(const MessageBoxView& v, const std::string& icon, const char* owner) {
    std::string s = "{\"caption\":" + json_string(v.caption) + ",\"text\":" + json_string(v.text) + ",\"buttons\":[";
    for (size_t i = 0; i < v.buttons.size(); ++i) {
        std::string name = button_name(v.buttons[i].id);
        std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return (char)toupper(c); });
        s += (i ? "," : "") + json_string(name);
    }
    return s + "],\"icon\":\"" + icon + "\",\"owner\":\"" + owner + "\"}";
}

std::string json_step(const std::string& name, const std::string& result, const std::string& extra, bool tick) {
    return "{\"step\":" + json_string(name) + ",\"by\":\"script\",\"result\":" + json_string(result) + extra +
           (tick ? ",\"tick\":" + std::to_string(GetTickCount()) : std::string()) + "}";
}

std::string json_error(const std::string& why) { return "{\"error\":" + json_string(why) + "}"; }

}  // namespace e2e
