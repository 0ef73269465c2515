// The Windows-version codes that the components' os_filter_greater and
// os_filter_smaller bounds are compared with, and a system for each code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace setup_check {

struct os_code_entry {
    int code;
    const char* name;
    // What GetVersionExW reports on such a system.
    ::platform::os_version_info version;
    // The hotfix key that tells Windows NT 4.0 SP6a from SP6.
    bool hotfix_q246009;
};

// Every code that a system can produce, in ascending order.
const std::vector<os_code_entry>& os_codes();

// The entry of a code; empty when no system produces it.
std::optional<os_code_entry> find_os_code(int code);

// The codes as a text for messages: "0, 5, 10, ... 100".
std::string os_code_list();

}  // namespace setup_check
