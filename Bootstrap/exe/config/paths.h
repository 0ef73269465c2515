// The program's folder, joining paths, and the folder markers of path texts.
#pragma once

#include <string>

#include "platform/platform.h"

namespace config {

// The folder of the program's own file, without a trailing separator.
// Raises code_error when the program's path cannot be obtained.
std::wstring get_application_directory(platform::platform& sys);

// `folder` and `name` joined with one backslash, unless the folder is empty
// or already ends with a backslash or a slash.
std::wstring combine_path(const std::wstring& folder, const std::wstring& name);

// Replaces "#APPPATH", "#SYSTEMPATH", "#WINDOWSPATH" and "#TEMPPATH" (exact,
// case-sensitive), in that order; an inserted folder is not scanned again.
std::wstring expand_path_variables(platform::platform& sys, const std::wstring& value);

}  // namespace config
