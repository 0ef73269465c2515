#include "diagnostics.h"

#include <algorithm>

namespace setup_check {

void sort_diagnostics(std::vector<diagnostic>& list)
{
    std::stable_sort(list.begin(), list.end(), [](const diagnostic& a, const diagnostic& b) {
        if (a.line != b.line) return a.line < b.line;
        return a.column < b.column;
    });
}

std::string format_text(const std::string& file, const diagnostic& d)
{
    std::string out = file;
    if (d.line > 0) out += ":" + std::to_string(d.line) + ":" + std::to_string(d.column > 0 ? d.column : 1);
    out += d.level == severity::error ? ": error: " : ": warning: ";
    out += d.message;
    out += " [" + d.rule + "]";
    return out;
}

}  // namespace setup_check
