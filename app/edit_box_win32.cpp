// https://learn.microsoft.com/en-us/windows/win32/controls/edit-control-styles
// https://learn.microsoft.com/en-us/windows/win32/controls/subclassing-overview
// https://learn.microsoft.com/en-us/windows/win32/inputdev/wm-char
#include "app/edit_box_win32.h"

#include <commctrl.h>

#include "app/edit_filter.h"

namespace zelbrin {

namespace {

constexpr UINT_PTR kFilterId = 1;

// Typed characters arrive as WM_CHAR; dropping one here means the box never sees it.
// Pasting goes through WM_PASTE and is deliberately left alone.
LRESULT CALLBACK filterTyping(HWND window, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                              DWORD_PTR) {
    if (message == WM_CHAR && !acceptsTypedCharacter(static_cast<unsigned int>(wParam))) {
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(window, filterTyping, kFilterId);
    }
    return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

bool EditBox::create(HWND parent, ControlPlace place, std::string_view text) {
    hwnd_ = createControl(parent, L"EDIT", ES_LEFT | ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE,
                          place, text, -1);
    return hwnd_ != nullptr && SetWindowSubclass(hwnd_, filterTyping, kFilterId, 0) != FALSE;
}

}  // namespace zelbrin
