// Which Windows releases and system languages a component or a
// configuration applies to.
#pragma once

#include <string>

#include "platform/platform.h"

namespace components {

// Orders the Windows releases from Windows 95 to Windows Server 2003; every
// later release is 100, an unknown or unreadable one 0.
int get_os_version_code(platform::platform& sys);

// True when greater < code < smaller; an empty bound is open. Raises
// config::code_error on a bound that is not a number.
bool os_version_in_range(int code, const std::wstring& greater, const std::wstring& smaller);

// True when the system language is accepted by the comma-separated list of
// language numbers, each optionally negated with "!". An empty list accepts
// every system without asking its language. Raises config::code_error on an
// entry that is not a number or when the language cannot be read.
bool language_filter_matches(platform::platform& sys, const std::wstring& list);

}  // namespace components
