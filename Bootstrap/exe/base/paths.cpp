#include "base/paths.h"

namespace base {

std::wstring combine_path(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty() || folder.back() == L'\\' || folder.back() == L'/') return folder + name;
    return folder + L'\\' + name;
}

std::wstring last_path_part(const std::wstring& path)
{
    const std::size_t cut = path.find_last_of(L"\\/");
    return cut == std::wstring::npos ? path : path.substr(cut + 1);
}

}  // namespace base
