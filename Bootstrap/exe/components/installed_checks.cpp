#include "components/installed_checks.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "base/text.h"
#include "components/version.h"

namespace components {

namespace {

const std::wstring comparison_message = L"Invalid comparison type, expected match or version.";

// A faulty value of the configuration: the value itself is the caption.
void show_faulty_value(platform::user_interface& ui, const std::wstring& message, const std::wstring& value)
{
    ui.message_box(0, message, value.c_str(), platform::box_icon::error, platform::box_buttons::ok);
}

bool answer(base::event_log* log, const std::wstring& what, const std::wstring& found, bool installed)
{
    if (log != nullptr && log->wanted())
        log->write(L"installed check " + what + L": " + found + (installed ? L": installed" : L": missing"));
    return installed;
}

std::wstring quoted(const std::wstring& s) { return L"\"" + s + L"\""; }

}  // namespace

bool installedcheck_check_file::is_installed()
{
    std::wstring found;
    const bool installed = evaluate(found);
    return answer(log_, L"of the file " + filename, found, installed);
}

bool installedcheck_check_file::evaluate(std::wstring& found)
{
    if (!files_.path_exists(filename)) {
        found = L"not found";
        return false;
    }
    found = L"present";
    if (fileversion.empty()) return true;
    const std::wstring version = get_file_version_string(files_, filename);
    found = L"version " + version + L", " + comparison + L" " + fileversion;
    if (comparison == L"match") return version == fileversion;
    if (comparison == L"version") return compare_versions(version, fileversion) >= 0;
    show_faulty_value(ui_, comparison_message, comparison);
    return false;
}

bool installedcheck_check_registry_value::is_installed()
{
    std::wstring found;
    const bool installed = evaluate(found);
    const std::wstring where = L"of HKEY_LOCAL_MACHINE\\" + path + L" " + quoted(fieldname);
    return answer(log_, reads_native_view() ? where + L" (64-bit view)" : where, found, installed);
}

bool installedcheck_check_registry_value::reads_native_view() const { return view == L"64"; }

platform::reg_view installedcheck_check_registry_value::registry_view() const
{
    return reads_native_view() ? platform::reg_view::native : platform::reg_view::redirected;
}

bool installedcheck_check_registry_value::evaluate(std::wstring& found)
{
    if (!registry_.key_opens(platform::reg_root::local_machine, path, platform::reg_access::read, registry_view())) {
        found = L"no such key";
        return false;
    }
    found = L"the key exists";
    if (fieldtype == L"REG_DWORD") return check_dword(found);
    if (fieldtype == L"REG_SZ") return check_string(found);
    if (fieldtype.empty()) return true;
    show_faulty_value(ui_, L"Invalid registry type.", fieldtype);
    return false;
}

bool installedcheck_check_registry_value::check_dword(std::wstring& found)
{
    // The value is read into four bytes, whatever its stored type: a longer
    // value does not fit and counts as missing.
    std::vector<std::uint8_t> data;
    if (!registry_.read_value(platform::reg_root::local_machine, path, platform::reg_access::read, registry_view(),
                              fieldname, data) ||
        data.size() > 4) {
        found = data.size() > 4 ? L"a value longer than four bytes" : L"no such value";
        return false;
    }
    std::uint8_t bytes[4] = {0, 0, 0, 0};
    if (!data.empty()) std::memcpy(bytes, data.data(), data.size());
    const std::uint32_t stored = static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
                                 (static_cast<std::uint32_t>(bytes[2]) << 16) |
                                 (static_cast<std::uint32_t>(bytes[3]) << 24);

    found = L"REG_DWORD " + text::decimal(stored) + L", " + comparison + L" " + fieldvalue;
    std::size_t pos = 0;
    std::int32_t expected = 0;
    if (!text::scan_int(fieldvalue, pos, expected)) {
        show_faulty_value(ui_, L"Invalid registry value to check expected DWORD.", fieldvalue);
        return false;
    }
    if (comparison == L"match") return stored == static_cast<std::uint32_t>(expected);
    if (comparison == L"version") return stored >= static_cast<std::uint32_t>(expected);
    if (comparison == L"exists" || comparison.empty()) return true;
    show_faulty_value(ui_, comparison_message, comparison);
    return false;
}

bool installedcheck_check_registry_value::check_string(std::wstring& found)
{
    std::vector<std::uint8_t> data;
    if (!registry_.read_value(platform::reg_root::local_machine, path, platform::reg_access::read, registry_view(),
                              fieldname, data)) {
        found = L"no such value";
        return false;
    }
    // The value lands in a zeroed buffer of size / 2 + 1 UTF-16 units and is
    // taken up to its first zero unit, so an odd trailing byte still counts.
    std::vector<std::uint16_t> units(data.size() / 2 + 1, 0);
    if (!data.empty()) std::memcpy(units.data(), data.data(), data.size());
    std::wstring stored;
    for (std::uint16_t u : units) {
        if (u == 0) break;
        stored.push_back(static_cast<wchar_t>(u));
    }
    found = L"REG_SZ " + quoted(stored) + L", " + comparison + L" " + quoted(fieldvalue);
    if (comparison == L"match") return fieldvalue == stored;
    if (comparison == L"version") return compare_versions(fieldvalue, stored) <= 0;
    show_faulty_value(ui_, comparison_message, comparison);
    return false;
}

}  // namespace components
