// Which Windows releases and system languages a component or a
// configuration applies to.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/failure.h"
#include "platform/platform.h"

namespace components {

// Orders the Windows releases from Windows 95 to Windows Server 2003; every
// later release is 100, an unknown or unreadable one 0.
int get_os_version_code(platform::system_facts& facts, platform::registry& registry);

// True when greater < code < smaller; an empty bound is open. Fails on a
// bound that is not a number.
base::result<bool> os_version_in_range(int code, const std::wstring& greater, const std::wstring& smaller);

// One entry of a comma-separated language list, as written and as read.
struct language_entry {
    std::wstring text;
    bool negated = false;     // it starts with "!"
    bool is_number = false;   // a number could be read ("%d")
    std::int32_t language = 0;
    bool whole = false;       // the number is all the entry holds
};

// The list's entries in order; empty entries (two commas in a row, a comma
// at either end) are left out.
std::vector<language_entry> split_language_list(const std::wstring& list);

// True when the system language is accepted by the list: an entry accepts
// its language, a negated entry every other one. An empty list accepts every
// system without asking its language. Fails when the language cannot be
// read or an entry is not a number (wherever it stands).
base::result<bool> language_filter_matches(platform::system_facts& facts, platform::files& files,
                                           const std::wstring& list);

}  // namespace components
