#include "dialog/placement.h"

#include "dialog/dialog_rules.h"

namespace dialog {

void centre_over_owner(HWND window)
{
    RECT own, work;
    GetWindowRect(window, &own);
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    RECT around = work;
    HWND owner = GetWindow(window, GW_OWNER);
    if (owner != nullptr && IsWindowVisible(owner) && !IsIconic(owner)) GetWindowRect(owner, &around);
    const point p = centre_in({own.left, own.top, own.right, own.bottom},
                              {around.left, around.top, around.right, around.bottom},
                              {work.left, work.top, work.right, work.bottom});
    SetWindowPos(window, nullptr, p.x, p.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace dialog
