// What every child control of the main window shares: its place in the client area, its
// creation with the default GUI font, and its window text.
#pragma once

#include <windows.h>

#include <string_view>

#include "text/text.h"

namespace zelbrin {

struct ControlPlace {
    int left;
    int top;
    int width;
    int height;
};

// A visible child window with the default GUI font; nullptr when Windows refuses it.
HWND createControl(HWND parent, const wchar_t* windowClass, DWORD style, DWORD exStyle,
                   ControlPlace place, std::string_view text, int id);

void setWindowText(HWND window, std::string_view text);
Text windowText(HWND window);

}  // namespace zelbrin
