#include "config/path_markers.h"

namespace config {

base::result<std::wstring> get_application_directory(platform::system_facts& facts)
{
    std::wstring path;
    if (!facts.module_path(path) || path.empty())
        return base::failure::loading(L"the program's own path cannot be obtained");
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? std::wstring() : path.substr(0, cut);
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

base::result<std::wstring> expand_path_variables(platform::system_facts& facts, const std::wstring& value)
{
    // Every folder is asked on every call: nothing is remembered, so a path
    // always reflects the system as it is now.
    const base::result<std::wstring> app = get_application_directory(facts);
    if (!app) return app.error();
    const std::wstring system = facts.system_directory();
    const std::wstring windows = facts.windows_directory();
    const std::wstring temp = facts.temp_directory();
    std::wstring result = value;
    if (result.find(L'#') == std::wstring::npos) return result;
    replace_marker(result, L"#APPPATH", app.value());
    replace_marker(result, L"#SYSTEMPATH", system);
    replace_marker(result, L"#WINDOWSPATH", windows);
    replace_marker(result, L"#TEMPPATH", temp);
    return result;
}

}  // namespace config
