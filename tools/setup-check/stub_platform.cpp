#include "stub_platform.h"

#include "base/paths.h"
#include "base/text.h"

namespace setup_check {

namespace {

std::wstring lower(const std::wstring& s) { return text::ascii_lower(s); }

}  // namespace

bool stub_platform::path_exists(const std::wstring& path)
{
    return files.count(lower(path)) > 0 || contents.count(lower(path)) > 0;
}

::platform::read_status stub_platform::read_file(const std::wstring& path, std::size_t limit, std::string& bytes)
{
    const auto it = contents.find(lower(path));
    if (it == contents.end()) return ::platform::read_status::failed;
    if (it->second.size() > limit) return ::platform::read_status::too_large;
    bytes = it->second;
    return ::platform::read_status::ok;
}

bool stub_platform::module_path(std::wstring& path)
{
    path = module;
    return true;
}

bool stub_platform::file_version(const std::wstring& path, ::platform::fixed_file_version& out)
{
    const auto it = files.find(lower(path));
    if (it == files.end() || !it->second) return false;
    out = *it->second;
    return true;
}

bool stub_platform::file_language(const std::wstring& path, std::uint16_t& langid)
{
    // Only the system's user.exe carries the language the reader asks for.
    if (!language || lower(path) != lower(base::combine_path(system_dir, L"user.exe"))) return false;
    langid = *language;
    return true;
}

bool stub_platform::os_version(bool extended, ::platform::os_version_info& out)
{
    out = version;
    if (!extended) out.service_pack_major = 0;
    return true;
}

std::wstring stub_platform::ansi_to_wide(const std::string& text)
{
    static const wchar_t high[32] = {0x20AC, 0xFFFD, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                     0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0xFFFD, 0x017D, 0xFFFD,
                                     0xFFFD, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                     0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0xFFFD, 0x017E, 0x0178};
    std::wstring out;
    out.reserve(text.size());
    for (char ch : text) {
        const unsigned char c = static_cast<unsigned char>(ch);
        out.push_back(c >= 0x80 && c < 0xA0 ? high[c - 0x80] : static_cast<wchar_t>(c));
    }
    return out;
}

bool stub_platform::key_opens(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access,
                              ::platform::reg_view)
{
    return root == ::platform::reg_root::local_machine && machine_keys.count(lower(subkey)) > 0;
}

bool stub_platform::read_value(::platform::reg_root root, const std::wstring& subkey, ::platform::reg_access access,
                               ::platform::reg_view view, const std::wstring& name, std::vector<std::uint8_t>& data)
{
    if (!key_opens(root, subkey, access, view)) return false;
    const auto it = machine_values.find({lower(subkey), lower(name)});
    if (it == machine_values.end()) return false;
    data = it->second;
    return true;
}

::platform::box_answer stub_platform::message_box(::platform::window_handle, const std::wstring& text,
                                                  const wchar_t* caption, ::platform::box_icon icon,
                                                  ::platform::box_buttons buttons)
{
    shown_message m;
    m.text = text;
    if (caption != nullptr) m.caption = std::wstring(caption);
    m.icon = icon;
    messages.push_back(m);
    // Nothing asked while reading is a question; "no" would be the safe
    // answer if one ever were.
    return buttons == ::platform::box_buttons::yes_no ? ::platform::box_answer::no : ::platform::box_answer::ok;
}

}  // namespace setup_check
