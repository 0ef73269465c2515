#include "platform/win32_platform.h"

namespace platform {

win32_platform& win32_platform::process_platform()
{
    // Made on the heap and only pointed to, so that nothing destroys it when
    // the program's statics go at its end.
    static win32_platform* const sys = new win32_platform;
    return *sys;
}

}  // namespace platform
