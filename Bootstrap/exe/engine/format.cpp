#include "engine/format.h"

namespace engine {

std::wstring format_with_one_string(const std::wstring& format, const std::wstring& argument)
{
    std::wstring out;
    out.reserve(format.size() + argument.size());
    bool used = false;
    for (std::size_t i = 0; i < format.size(); ++i) {
        const wchar_t c = format[i];
        const wchar_t next = i + 1 < format.size() ? format[i + 1] : L'\0';
        if (c == L'%' && next == L'%') {
            out.push_back(L'%');
            ++i;
        } else if (c == L'%' && next == L's' && !used) {
            out += argument;
            used = true;
            ++i;
        } else {
            out.push_back(c);
        }
    }
    return out;
}

}  // namespace engine

namespace engine {

std::wstring failure_question(const config::configuration_settings& settings, const components::component& c)
{
    return format_with_one_string(settings.failed_exec_command_continue, c.description);
}

}  // namespace engine
