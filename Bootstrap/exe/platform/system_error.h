// A system error code as the log tells it: the number and the system's own
// text for it.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace platform {

// "system code 2: The system cannot find the file specified." An HRESULT
// (a code with its top bit set) is written in hexadecimal; a code the system
// has no text for is given alone.
std::wstring describe_error(system_facts& facts, std::uint32_t code);

}  // namespace platform
