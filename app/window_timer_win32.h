// An invisible timer of the main window: period 0 is stopped, a positive period ticks as
// WM_TIMER with this timer's id.
// https://learn.microsoft.com/en-us/windows/win32/winmsg/timers
#pragma once

#include <windows.h>

namespace zelbrin {

class WindowTimer {
public:
    void attach(HWND owner, UINT_PTR id);
    // 0 or less stops; the period already set changes nothing (SetTimer would restart the count).
    void setPeriod(int periodMs);
    int period() const { return periodMs_; }
    UINT_PTR id() const { return id_; }

private:
    HWND owner_ = nullptr;
    UINT_PTR id_ = 0;
    int periodMs_ = 0;
};

}  // namespace zelbrin
