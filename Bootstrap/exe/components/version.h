// Dotted version texts, file versions and the system language.
#pragma once

#include <cstdint>
#include <string>

#include "base/failure.h"
#include "platform/platform.h"

namespace components {

// -1 when `a` is lower, 0 when equal, 1 when higher. Each text is read as up
// to four "%d" numbers joined by dots; what it does not supply counts as 0.
int compare_versions(const std::wstring& a, const std::wstring& b);

// The file's version as "major.minor.build.revision"; "0.0.0.0" when it has
// no readable version resource.
std::wstring get_file_version_string(platform::files& files, const std::wstring& path);

// The language of the first translation entry of "user.exe" in the system
// folder; fails when it cannot be read.
base::result<std::uint16_t> get_system_language(platform::system_facts& facts, platform::files& files);

}  // namespace components
