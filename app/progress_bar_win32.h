// A horizontal progress bar, range 0..100.
// https://learn.microsoft.com/en-us/windows/win32/controls/progress-bar-control
#pragma once

#include "app/control_win32.h"

namespace zelbrin {

class ProgressBar {
public:
    bool create(HWND parent, ControlPlace place);
    void setPosition(int position);
    int position() const;
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

}  // namespace zelbrin
