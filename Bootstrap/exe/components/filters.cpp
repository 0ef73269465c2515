#include "components/filters.h"

#include <cstdint>

#include "components/version.h"
#include "config/errors.h"
#include "config/text.h"

namespace components {

namespace {

constexpr wchar_t hotfix_key[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Hotfix\\Q246009";

wchar_t second_char(const std::wstring& s) { return s.size() > 1 ? s[1] : L'\0'; }

int windows_95_family_code(const platform::os_version_info& v)
{
    if (v.major < 4) return 0;
    if (v.major > 4) return 100;
    switch (v.minor) {
    case 0: {
        const wchar_t c = second_char(v.csd_version);
        return (c == L'B' || c == L'C') ? 10 : 5;
    }
    case 10:
        return second_char(v.csd_version) == L'A' ? 20 : 15;
    case 90:
        return 25;
    default:
        return v.minor > 90 ? 100 : 0;
    }
}

int nt_family_code(platform::platform& sys, const platform::os_version_info& v)
{
    if (v.major < 5) {
        if (text::ascii_lower(v.csd_version) != L"service pack 6") return 30;
        return sys.reg_key_opens(platform::reg_root::local_machine, hotfix_key, platform::key_query_value) ? 40 : 35;
    }
    if (v.major > 5) return 100;
    switch (v.minor) {
    case 0: {
        static const int codes[] = {45, 50, 55, 60, 65};
        return codes[v.service_pack_major < 4 ? v.service_pack_major : 4];
    }
    case 1: {
        static const int codes[] = {75, 80, 82};
        return codes[v.service_pack_major < 2 ? v.service_pack_major : 2];
    }
    case 2:
        return 90;
    default:
        return 100;
    }
}

// Reads a bound: empty (after trimming) keeps the default.
std::int32_t read_bound(const std::wstring& bound, std::int32_t fallback)
{
    const std::wstring trimmed = text::trim(bound);
    if (trimmed.empty()) return fallback;
    std::size_t pos = 0;
    std::int32_t value = 0;
    if (!text::scan_int(trimmed, pos, value)) throw config::code_error{};
    return value;
}

}  // namespace

int get_os_version_code(platform::platform& sys)
{
    platform::os_version_info v;
    if (!sys.os_version(true, v)) {
        v = platform::os_version_info{};
        if (!sys.os_version(false, v)) return 0;
        v.service_pack_major = 0;
    }
    switch (v.platform_id) {
    case 1:
        return windows_95_family_code(v);
    case 2:
        return nt_family_code(sys, v);
    default:
        return 0;
    }
}

bool os_version_in_range(int code, const std::wstring& greater, const std::wstring& smaller)
{
    const std::int32_t lower = read_bound(greater, -10000);
    const std::int32_t upper = read_bound(smaller, 10000);
    return lower < code && code < upper;
}

bool language_filter_matches(platform::platform& sys, const std::wstring& list)
{
    if (list.empty()) return true;
    const std::int32_t language = get_system_language(sys);
    bool matched = false;
    std::size_t start = 0;
    // Every entry is read even after a match, so a faulty one always fails.
    while (start <= list.size()) {
        std::size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos) comma = list.size();
        const std::wstring entry = list.substr(start, comma - start);
        start = comma + 1;
        if (entry.empty()) continue;
        const bool negated = entry[0] == L'!';
        const std::wstring number = negated ? entry.substr(1) : entry;
        std::size_t pos = 0;
        std::int32_t value = 0;
        if (!text::scan_int(number, pos, value)) throw config::code_error{};
        if (negated ? language != value : language == value) matched = true;
    }
    return matched;
}

}  // namespace components
