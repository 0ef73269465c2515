// The failure question's text: a printf-style format with one string.
#pragma once

#include <string>

namespace engine {

// "%%" gives "%", the first "%s" takes `argument`, and every other "%"
// sequence is kept as written: no conversion ever reads an argument that is
// not there.
std::wstring format_with_one_string(const std::wstring& format, const std::wstring& argument);

}  // namespace engine
