#include "diagnostics.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

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

std::string to_utf8(const std::wstring& text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        std::uint32_t cp = static_cast<std::uint32_t>(text[i]);
        if (sizeof(wchar_t) == 2) {
            cp &= 0xFFFFu;
            if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size()) {
                const std::uint32_t low = static_cast<std::uint32_t>(text[i + 1]) & 0xFFFFu;
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                    ++i;
                }
            }
        }
        if ((cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    }
    return out;
}

std::string json_string(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out += buf;
            } else {
                out.push_back(static_cast<char>(c));
            }
        }
    }
    return out + "\"";
}

}  // namespace setup_check
