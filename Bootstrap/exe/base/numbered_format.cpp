#include "base/numbered_format.h"

namespace text {

namespace {

// The field a sequence at `i` (a "%") names, 1-based; 0 when it names none.
std::size_t field_number(const std::wstring& f, std::size_t i)
{
    const wchar_t next = i + 1 < f.size() ? f[i + 1] : L'\0';
    return next >= L'1' && next <= L'9' ? static_cast<std::size_t>(next - L'0') : 0;
}

}  // namespace

std::wstring format_numbered(const std::wstring& format, const std::vector<std::wstring>& fields)
{
    std::wstring out;
    out.reserve(format.size() + 32);
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%') {
            out.push_back(format[i]);
            continue;
        }
        const std::size_t n = field_number(format, i);
        if (i + 1 < format.size() && format[i + 1] == L'%') {
            out.push_back(L'%');
            ++i;
        } else if (n != 0 && n <= fields.size()) {
            out += fields[n - 1];
            ++i;
        } else {
            out.push_back(L'%');
        }
    }
    return out;
}

std::vector<format_fault> numbered_format_faults(const std::wstring& format, std::size_t field_count)
{
    std::vector<format_fault> faults;
    for (std::size_t i = 0; i < format.size(); ++i) {
        if (format[i] != L'%') continue;
        const wchar_t next = i + 1 < format.size() ? format[i + 1] : L'\0';
        const std::size_t n = field_number(format, i);
        if (next == L'%' || (n != 0 && n <= field_count)) {
            ++i;
            continue;
        }
        format_fault fault;
        fault.at = i;
        fault.sequence = format.substr(i, next == L'\0' ? 1 : 2);
        fault.unknown_field = next >= L'0' && next <= L'9';
        faults.push_back(fault);
        if (next != L'\0') ++i;
    }
    return faults;
}

}  // namespace text
