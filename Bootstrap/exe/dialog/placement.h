// Where the program's windows open.
#pragma once

#include <windows.h>

namespace dialog {

// Centres a top-level window over its owner when the owner shows and is not
// minimised, otherwise in the work area, and keeps it inside the work area.
void centre_over_owner(HWND window);

}  // namespace dialog
