// https://learn.microsoft.com/en-us/windows/win32/controls/pbm-setrange32
// https://learn.microsoft.com/en-us/windows/win32/controls/pbm-setpos
#include "app/progress_bar_win32.h"

#include <commctrl.h>

namespace zelbrin {

bool ProgressBar::create(HWND parent, ControlPlace place) {
    hwnd_ = createControl(parent, PROGRESS_CLASSW, 0, 0, place, {}, -1);
    if (hwnd_ == nullptr) {
        return false;
    }
    SendMessageW(hwnd_, PBM_SETRANGE32, 0, 100);
    SendMessageW(hwnd_, PBM_SETPOS, 0, 0);
    return true;
}

void ProgressBar::setPosition(int position) {
    SendMessageW(hwnd_, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

int ProgressBar::position() const {
    return static_cast<int>(SendMessageW(hwnd_, PBM_GETPOS, 0, 0));
}

}  // namespace zelbrin
