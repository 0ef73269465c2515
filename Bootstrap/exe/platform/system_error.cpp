#include "platform/system_error.h"

#include "base/text.h"

namespace platform {

std::wstring describe_error(system_facts& facts, std::uint32_t code)
{
    std::wstring number;
    if (code >= 0x80000000u) {
        static const wchar_t digits[] = L"0123456789ABCDEF";
        number = L"0x";
        for (int shift = 28; shift >= 0; shift -= 4) number += digits[(code >> shift) & 0xF];
    } else {
        number = text::decimal(code);
    }
    const std::wstring said = facts.error_text(code);
    return L"system code " + number + (said.empty() ? std::wstring() : L": " + said);
}

}  // namespace platform
