#include "os_codes.h"

namespace setup_check {

const std::vector<os_code_entry>& os_codes()
{
    // Platform 0 is Win32s, 1 the Windows 95 family, 2 the NT family. The
    // second character of the 95 family's service-pack text marks the later
    // editions (" B", " C" for Windows 95 OSR2, " A" for Windows 98 SE).
    static const std::vector<os_code_entry> table = {
        {0, "Win32s, or a system whose version cannot be read", {0, 3, 10, 0, L""}, false},
        {5, "Windows 95", {1, 4, 0, 0, L""}, false},
        {10, "Windows 95 OSR2", {1, 4, 0, 0, L" B"}, false},
        {15, "Windows 98", {1, 4, 10, 0, L""}, false},
        {20, "Windows 98 Second Edition", {1, 4, 10, 0, L" A"}, false},
        {25, "Windows Me", {1, 4, 90, 0, L""}, false},
        {30, "Windows NT 4.0 before service pack 6", {2, 4, 0, 5, L"Service Pack 5"}, false},
        {35, "Windows NT 4.0 service pack 6", {2, 4, 0, 6, L"Service Pack 6"}, false},
        {40, "Windows NT 4.0 service pack 6a (hotfix Q246009)", {2, 4, 0, 6, L"Service Pack 6"}, true},
        {45, "Windows 2000", {2, 5, 0, 0, L""}, false},
        {50, "Windows 2000 service pack 1", {2, 5, 0, 1, L"Service Pack 1"}, false},
        {55, "Windows 2000 service pack 2", {2, 5, 0, 2, L"Service Pack 2"}, false},
        {60, "Windows 2000 service pack 3", {2, 5, 0, 3, L"Service Pack 3"}, false},
        {65, "Windows 2000 service pack 4 or later", {2, 5, 0, 4, L"Service Pack 4"}, false},
        {75, "Windows XP", {2, 5, 1, 0, L""}, false},
        {80, "Windows XP service pack 1", {2, 5, 1, 1, L"Service Pack 1"}, false},
        {82, "Windows XP service pack 2 or later", {2, 5, 1, 2, L"Service Pack 2"}, false},
        {90, "Windows Server 2003 or Windows XP x64", {2, 5, 2, 2, L"Service Pack 2"}, false},
        {100, "Windows Vista or any later release", {2, 6, 1, 1, L"Service Pack 1"}, false},
    };
    return table;
}

std::optional<os_code_entry> find_os_code(int code)
{
    for (const auto& e : os_codes())
        if (e.code == code) return e;
    return std::nullopt;
}

std::string os_code_list()
{
    std::string out;
    for (const auto& e : os_codes()) {
        if (!out.empty()) out += ", ";
        out += std::to_string(e.code);
    }
    return out;
}

}  // namespace setup_check
