// https://learn.microsoft.com/en-us/windows/win32/controls/button-styles
#include "app/button_win32.h"

namespace zelbrin {

bool PushButton::create(HWND parent, ControlPlace place, std::string_view text, int id) {
    id_ = id;
    hwnd_ = createControl(parent, L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0, place, text, id);
    return hwnd_ != nullptr;
}

}  // namespace zelbrin
