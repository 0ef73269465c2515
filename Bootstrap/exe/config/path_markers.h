// The program's folder, and the folder markers of path texts.
#pragma once

#include <string>

#include "base/failure.h"
#include "platform/platform.h"

namespace config {

// The folder of the program's own file, without a trailing separator.
// Fails when the program's path cannot be obtained.
base::result<std::wstring> get_application_directory(platform::system_facts& facts);

// Replaces "#APPPATH", "#SYSTEMPATH", "#WINDOWSPATH" and "#TEMPPATH" (exact,
// case-sensitive), in that order; an inserted folder is not scanned again.
// Fails when the program's folder cannot be obtained.
base::result<std::wstring> expand_path_variables(platform::system_facts& facts, const std::wstring& value);

}  // namespace config
