// What the checker reports, and the small text helpers its reports need.
#pragma once

#include <string>
#include <vector>

namespace setup_check {

enum class severity { error, warning };

struct diagnostic {
    int line = 0;    // 1-based; 0 when the problem has no place in the file
    int column = 0;  // 1-based, in characters (a tab counts as one)
    severity level = severity::error;
    std::string rule;     // a short stable name, e.g. "keyword-case"
    std::string message;  // UTF-8
};

// Sorted by place in the file; problems without a place come first.
void sort_diagnostics(std::vector<diagnostic>& list);

// "file:line:column: error: message" (no line or column when it has none).
std::string format_text(const std::string& file, const diagnostic& d);

// Wide text as UTF-8 (UTF-16 surrogate pairs joined where wchar_t is 16 bits).
std::string to_utf8(const std::wstring& text);

// A JSON string literal of UTF-8 text.
std::string json_string(const std::string& utf8);

}  // namespace setup_check
