// JSON string literals, for the machine-readable reports of the tools and
// the test programs.
#pragma once

#include <string>

// A JSON string literal of UTF-8 text: quotes, backslashes and control
// characters escaped, everything else kept as it is.
std::string json_string(const std::string& utf8);

// The same for wide text, encoded as UTF-8.
std::string json_string(const std::wstring& text);
