// https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-settimer
// https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-killtimer
#include "app/window_timer_win32.h"

namespace zelbrin {

void WindowTimer::attach(HWND owner, UINT_PTR id) {
    owner_ = owner;
    id_ = id;
    periodMs_ = 0;
}

void WindowTimer::setPeriod(int periodMs) {
    const int period = periodMs > 0 ? periodMs : 0;
    if (period == periodMs_) {
        return;
    }
    if (period == 0) {
        KillTimer(owner_, id_);
    } else if (SetTimer(owner_, id_, static_cast<UINT>(period), nullptr) == 0) {
        return;  // not started: the period stays what it was
    }
    periodMs_ = period;
}

}  // namespace zelbrin
