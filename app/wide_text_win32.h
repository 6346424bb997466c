// Texts cross into Win32 as UTF-16 read from code page 936, whatever the system's ANSI code
// page is, so the window shows Chinese on any Windows locale.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

std::wstring widen(std::string_view text);
Text narrow(std::wstring_view wide);

}  // namespace zelbrin
