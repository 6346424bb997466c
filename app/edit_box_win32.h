// A one-line edit box that accepts only digits and "-" as typed characters.
// https://learn.microsoft.com/en-us/windows/win32/controls/edit-controls
#pragma once

#include "app/control_win32.h"

namespace zelbrin {

class EditBox {
public:
    bool create(HWND parent, ControlPlace place, std::string_view text);
    void setText(std::string_view text) { setWindowText(hwnd_, text); }
    Text text() const { return windowText(hwnd_); }
    HWND hwnd() const { return hwnd_; }

private:
    HWND hwnd_ = nullptr;
};

}  // namespace zelbrin
