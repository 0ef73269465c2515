#include "platform/win32_platform.h"

#include <windows.h>

namespace platform {

box_answer win32_platform::message_box(window_handle owner, const std::wstring& text, const wchar_t* caption,
                                       box_icon icon, box_buttons buttons)
{
    UINT style = buttons == box_buttons::yes_no ? MB_YESNO : MB_OK;
    switch (icon) {
    case box_icon::error: style |= MB_ICONERROR; break;
    case box_icon::warning: style |= MB_ICONWARNING; break;
    case box_icon::information: style |= MB_ICONINFORMATION; break;
    case box_icon::question: style |= MB_ICONQUESTION; break;
    }
    HWND window = reinterpret_cast<HWND>(owner);
    const int answer = MessageBoxW(window, text.c_str(), caption, style);
    // The owner is in front again once its box has closed, wherever the
    // system would have put the activation.
    if (window != nullptr) SetForegroundWindow(window);
    return answer == IDYES ? box_answer::yes : answer == IDNO ? box_answer::no : box_answer::ok;
}

}  // namespace platform
