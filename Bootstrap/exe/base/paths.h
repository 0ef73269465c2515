// Joining folders and names.
#pragma once

#include <string>

namespace base {

// `folder` and `name` joined with one backslash, unless the folder is empty
// or already ends with a backslash or a slash.
std::wstring combine_path(const std::wstring& folder, const std::wstring& name);

// The text after the last slash or backslash; the whole text without one.
std::wstring last_path_part(const std::wstring& path);

}  // namespace base
