// Dotted version texts, file versions and the system language.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace components {

// -1 when `a` is lower, 0 when equal, 1 when higher. Each text is read as up
// to four "%d" numbers joined by dots; what it does not supply counts as 0.
int compare_versions(const std::wstring& a, const std::wstring& b);

// The file's version as "major.minor.build.revision"; "0.0.0.0" when it has
// no readable version resource.
std::wstring get_file_version_string(platform::platform& sys, const std::wstring& path);

// The language of the first translation entry of "user.exe" in the system
// folder; raises config::code_error when it cannot be read.
std::uint16_t get_system_language(platform::platform& sys);

}  // namespace components
