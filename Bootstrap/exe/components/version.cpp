#include "components/version.h"

#include "base/paths.h"
#include "base/text.h"

namespace components {

namespace {

struct version_parts {
    std::int32_t part[4] = {0, 0, 0, 0};
};

// "%d.%d.%d.%d": each dot must follow its number directly; the scan stops at
// the first character that does not fit.
version_parts parse_version(const std::wstring& s)
{
    version_parts v;
    std::size_t pos = 0;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (pos >= s.size() || s[pos] != L'.') break;
            ++pos;
        }
        if (!text::scan_int(s, pos, v.part[i])) break;
    }
    return v;
}

}  // namespace

int compare_versions(const std::wstring& a, const std::wstring& b)
{
    const version_parts va = parse_version(a);
    const version_parts vb = parse_version(b);
    for (int i = 0; i < 4; ++i) {
        if (va.part[i] < vb.part[i]) return -1;
        if (va.part[i] > vb.part[i]) return 1;
    }
    return 0;
}

std::wstring get_file_version_string(platform::files& files, const std::wstring& path)
{
    platform::fixed_file_version fixed;
    if (!files.file_version(path, fixed)) return L"0.0.0.0";
    return text::decimal(fixed.file_version_ms >> 16) + L'.' + text::decimal(fixed.file_version_ms & 0xFFFFu) +
           L'.' + text::decimal(fixed.file_version_ls >> 16) + L'.' + text::decimal(fixed.file_version_ls & 0xFFFFu);
}

base::result<std::uint16_t> get_system_language(platform::system_facts& facts, platform::files& files)
{
    const std::wstring path = base::combine_path(facts.system_directory(), L"user.exe");
    std::uint16_t langid = 0;
    if (!files.file_language(path, langid))
        return base::failure::loading(L"the system language cannot be read from " + path);
    return langid;
}

}  // namespace components
