// What the checker reports.
#pragma once

#include <string>
#include <vector>

#include "base/text.h"
#include "json.h"

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

// Wide text as UTF-8.
inline std::string to_utf8(const std::wstring& text) { return text::wide_to_utf8(text); }

}  // namespace setup_check
