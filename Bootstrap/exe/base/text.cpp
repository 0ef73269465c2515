#include "base/text.h"

namespace text {

bool is_space(wchar_t c)
{
    switch (c) {
    case 0x09: case 0x0A: case 0x0B: case 0x0C: case 0x0D: case 0x20:
    case 0x85: case 0xA0: case 0x1680: case 0x2028: case 0x2029:
    case 0x202F: case 0x205F: case 0x3000:
        return true;
    default:
        return c >= 0x2000 && c <= 0x200A;
    }
}

std::wstring trim(const std::wstring& s)
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && is_space(s[begin])) ++begin;
    while (end > begin && is_space(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

bool scan_int(const std::wstring& s, std::size_t& pos, std::int32_t& value)
{
    std::size_t i = pos;
    while (i < s.size() && is_space(s[i])) ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == L'+' || s[i] == L'-')) {
        negative = s[i] == L'-';
        ++i;
    }
    if (i >= s.size() || s[i] < L'0' || s[i] > L'9') return false;
    std::uint32_t magnitude = 0;
    while (i < s.size() && s[i] >= L'0' && s[i] <= L'9') {
        magnitude = magnitude * 10u + static_cast<std::uint32_t>(s[i] - L'0');
        ++i;
    }
    if (negative) magnitude = 0u - magnitude;
    value = static_cast<std::int32_t>(magnitude);
    pos = i;
    return true;
}

namespace {

// Length of the well-formed UTF-8 sequence at `i` and its code point, or 0.
std::size_t utf8_sequence(const std::string& b, std::size_t i, std::uint32_t& cp)
{
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(b[k]); };
    const unsigned char c = byte(i);
    std::size_t len;
    std::uint32_t min;
    if (c < 0x80) { cp = c; return 1; }
    if (c >= 0xC2 && c <= 0xDF) { len = 2; cp = c & 0x1F; min = 0x80; }
    else if (c >= 0xE0 && c <= 0xEF) { len = 3; cp = c & 0x0F; min = 0x800; }
    else if (c >= 0xF0 && c <= 0xF4) { len = 4; cp = c & 0x07; min = 0x10000; }
    else return 0;
    if (i + len > b.size()) return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + k) & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return len;
}

void append_code_point(std::wstring& out, std::uint32_t cp)
{
    if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
        cp -= 0x10000;
        out.push_back(static_cast<wchar_t>(0xD800 + (cp >> 10)));
        out.push_back(static_cast<wchar_t>(0xDC00 + (cp & 0x3FF)));
    } else {
        out.push_back(static_cast<wchar_t>(cp));
    }
}

}  // namespace

bool is_valid_utf8(const std::string& bytes)
{
    std::uint32_t cp;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = utf8_sequence(bytes, i, cp);
        if (len == 0) return false;
        i += len;
    }
    return true;
}

std::wstring utf8_to_wide(const std::string& bytes)
{
    std::wstring out;
    out.reserve(bytes.size());
    std::uint32_t cp;
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t len = utf8_sequence(bytes, i, cp);
        if (len == 0) {
            out.push_back(static_cast<wchar_t>(0xFFFD));
            ++i;
        } else {
            append_code_point(out, cp);
            i += len;
        }
    }
    return out;
}

std::string wide_to_utf8(const std::wstring& text)
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

std::wstring ascii_lower(std::wstring s)
{
    for (auto& c : s)
        if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

std::wstring decimal(std::uint64_t value)
{
    wchar_t digits[24];
    std::size_t n = 0;
    do {
        digits[n++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value != 0);
    std::wstring out;
    while (n > 0) out.push_back(digits[--n]);
    return out;
}

std::wstring narrow_to_wide_ascii(const std::string& s)
{
    return std::wstring(s.begin(), s.end());
}

std::wstring fingerprint(const std::string& bytes)
{
    std::uint64_t hash = 14695981039346656037ull;
    for (unsigned char b : bytes) {
        hash ^= b;
        hash *= 1099511628211ull;
    }
    static const wchar_t hex[] = L"0123456789abcdef";
    std::wstring out(16, L'0');
    for (int i = 15; i >= 0; --i, hash >>= 4) out[static_cast<std::size_t>(i)] = hex[hash & 0xF];
    return out;
}

}  // namespace text
