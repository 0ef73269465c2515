#include "components/filters.h"

#include "base/text.h"
#include "components/version.h"

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

int nt_family_code(platform::registry& registry, const platform::os_version_info& v)
{
    if (v.major < 5) {
        if (text::ascii_lower(v.csd_version) != L"service pack 6") return 30;
        return registry.key_opens(platform::reg_root::local_machine, hotfix_key, platform::reg_access::query_value,
                                  platform::reg_view::redirected)
                   ? 40
                   : 35;
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
bool read_bound(const std::wstring& bound, std::int32_t& value)
{
    const std::wstring trimmed = text::trim(bound);
    if (trimmed.empty()) return true;
    std::size_t pos = 0;
    return text::scan_int(trimmed, pos, value);
}

}  // namespace

int get_os_version_code(platform::system_facts& facts, platform::registry& registry)
{
    platform::os_version_info v;
    if (!facts.os_version(true, v)) {
        v = platform::os_version_info{};
        if (!facts.os_version(false, v)) return 0;
        v.service_pack_major = 0;
    }
    switch (v.platform_id) {
    case 1:
        return windows_95_family_code(v);
    case 2:
        return nt_family_code(registry, v);
    default:
        return 0;
    }
}

base::result<bool> os_version_in_range(int code, const std::wstring& greater, const std::wstring& smaller)
{
    std::int32_t lower = -10000;
    std::int32_t upper = 10000;
    if (!read_bound(greater, lower))
        return base::failure::loading(L"the bound os_filter_greater \"" + greater + L"\" is not a number");
    if (!read_bound(smaller, upper))
        return base::failure::loading(L"the bound os_filter_smaller \"" + smaller + L"\" is not a number");
    return lower < code && code < upper;
}

std::vector<language_entry> split_language_list(const std::wstring& list)
{
    std::vector<language_entry> entries;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos) comma = list.size();
        language_entry e;
        e.text = list.substr(start, comma - start);
        start = comma + 1;
        if (e.text.empty()) continue;
        e.negated = e.text[0] == L'!';
        const std::wstring number = e.negated ? e.text.substr(1) : e.text;
        std::size_t pos = 0;
        e.is_number = text::scan_int(number, pos, e.language);
        e.whole = e.is_number && pos == number.size();
        entries.push_back(e);
    }
    return entries;
}

base::result<bool> language_filter_matches(platform::system_facts& facts, platform::files& files,
                                           const std::wstring& list)
{
    if (list.empty()) return true;
    const base::result<std::uint16_t> language = get_system_language(facts, files);
    if (!language) return language.error();
    bool matched = false;
    // Every entry is judged even after a match, so a faulty one always fails.
    for (const language_entry& e : split_language_list(list)) {
        if (!e.is_number)
            return base::failure::loading(L"the language list \"" + list + L"\" holds \"" + e.text +
                                          L"\", which is not a number");
        if (e.negated ? language.value() != e.language : language.value() == e.language) matched = true;
    }
    return matched;
}

}  // namespace components
