// https://learn.microsoft.com/en-us/windows/win32/api/winuser/nf-winuser-createwindowexw
// https://learn.microsoft.com/en-us/windows/win32/winmsg/wm-setfont
#include "app/control_win32.h"

#include <string>

#include "text/wide_text.h"

namespace zelbrin {

HWND createControl(HWND parent, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                   ControlPlace place, std::string_view text, int id) {
    const std::wstring wide = widen(text);
    HWND control = CreateWindowExW(
        exStyle, windowClass, wide.c_str(), WS_CHILD | WS_VISIBLE | style, place.left, place.top,
        place.width, place.height, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        GetModuleHandleW(nullptr), nullptr);
    if (control != nullptr) {
        SendMessageW(control, WM_SETFONT,
                     reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    return control;
}

void setWindowText(HWND window, std::string_view text) {
    SetWindowTextW(window, widen(text).c_str());
}

Text windowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring wide(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, wide.data(), length + 1);
    wide.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return narrow(wide);
}

}  // namespace zelbrin
