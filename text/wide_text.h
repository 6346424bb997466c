// Texts as the wide strings of the Win32 W functions: UTF-16 code units read from code page 936,
// whatever the system's ANSI code page is, so Chinese crosses into Windows on any locale.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

std::wstring widen(std::string_view text);
// Up to the first zero unit; a unit code page 936 lacks becomes "?".
Text narrow(std::wstring_view wide);

}  // namespace zelbrin
