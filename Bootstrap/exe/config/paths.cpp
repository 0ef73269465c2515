#include "config/paths.h"

#include "config/errors.h"

namespace config {

std::wstring get_application_directory(platform::platform& sys)
{
    std::wstring path;
    if (!sys.module_path(path) || path.empty()) throw code_error{};
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
}

std::wstring combine_path(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L'\\' + name;
}

namespace {

void replace_marker(std::wstring& text, const std::wstring& marker, const std::wstring& folder)
{
    std::size_t pos = 0;
    while ((pos = text.find(marker, pos)) != std::wstring::npos) {
        text.replace(pos, marker.size(), folder);
        pos += folder.size();
    }
}

}  // namespace

std::wstring expand_path_variables(platform::platform& sys, const std::wstring& value)
{
    // Every folder is asked on every call: nothing is remembered, so a path
    // always reflects the system as it is now.
    const std::wstring app = get_application_directory(sys);
    const std::wstring system = sys.system_directory();
    const std::wstring windows = sys.windows_directory();
    const std::wstring temp = sys.temp_directory();
    std::wstring result = value;
    if (result.find(L'#') == std::wstring::npos) return result;
    replace_marker(result, L"#APPPATH", app);
    replace_marker(result, L"#SYSTEMPATH", system);
    replace_marker(result, L"#WINDOWSPATH", windows);
    replace_marker(result, L"#TEMPPATH", temp);
    return result;
}

}  // namespace config
