// https://learn.microsoft.com/en-us/windows/win32/controls/static-control-styles
#include "app/label_win32.h"

namespace zelbrin {

bool StaticLabel::create(HWND parent, ControlPlace place, std::string_view text) {
    // SS_NOPREFIX: "&" in a book's name is shown, not taken as a mnemonic.
    hwnd_ = createControl(parent, L"STATIC", SS_LEFT | SS_NOPREFIX, 0, place, text, -1);
    return hwnd_ != nullptr;
}

}  // namespace zelbrin
