// Texts with numbered fields, whose formats come from a configuration: the
// fields are filled by this code alone, which knows exactly how many there
// are, so that no format can make it read anything else.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace text {

// "%1" to "%9" take fields[0] to fields[8], "%%" gives "%"; a number with no
// field, "%0" and every other "%" sequence are shown as written.
std::wstring format_numbered(const std::wstring& format, const std::vector<std::wstring>& fields);

// A "%" sequence of a format that is shown as written: where it stands and
// what it is ("%7", "%x", or "%" at the end).
struct format_fault {
    std::size_t at = 0;
    std::wstring sequence;
    bool unknown_field = false;  // a digit that names no field
};
std::vector<format_fault> numbered_format_faults(const std::wstring& format, std::size_t field_count);

}  // namespace text
