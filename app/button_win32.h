// A push button; its clicks reach the parent as WM_COMMAND / BN_CLICKED with the button's id.
// https://learn.microsoft.com/en-us/windows/win32/controls/buttons
#pragma once

#include "app/control_win32.h"

namespace zelbrin {

class PushButton {
public:
    bool create(HWND parent, ControlPlace place, std::string_view text, int id);
    Text text() const { return windowText(hwnd_); }
    HWND hwnd() const { return hwnd_; }
    int id() const { return id_; }

private:
    HWND hwnd_ = nullptr;
    int id_ = 0;
};

}  // namespace zelbrin
