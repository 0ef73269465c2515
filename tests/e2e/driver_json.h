// e2e_driver's log lines: one JSON object per line, UTF-8. What each field
// means is written down in DRIVER.md.
#pragma once

#include <string>

#include "driver_windows.h"
#include "json.h"

namespace e2e {

std::string json_bool(bool b);
std::string json_rect(const RECT& r);
std::string json_control(const ControlView& c);
// The cursor is told as "class" when it is `class_cursor`, the one the
// dialog showed when it first appeared, "own" when another, "none".
std::string json_dialog(const DialogView& v, HCURSOR class_cursor);
std::string json_download(const DownloadView& v);
// The box's own part of a "box" line: caption, text, buttons, icon, owner.
std::string json_box(const MessageBoxView& v, const std::string& icon, const char* owner);
// {"step":name,"by":"script","result":result<extra>[,"tick":T]}
std::string json_step(const std::string& name, const std::string& result, const std::string& extra = std::string(),
                      bool tick = true);
std::string json_error(const std::string& why);

}  // namespace e2e
