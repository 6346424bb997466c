#include "app/wide_text_win32.h"

#include <cstring>

#include "text/charset.h"

namespace zelbrin {

std::wstring widen(std::string_view text) {
    // UTF-16LE units with a terminating zero unit; wchar_t is that unit on Windows.
    const Bytes units = toWide(text, kCodePageGbk);
    const std::size_t count = units.size() / sizeof(wchar_t);
    std::wstring wide(count > 0 ? count - 1 : 0, L'\0');
    std::memcpy(wide.data(), units.data(), wide.size() * sizeof(wchar_t));
    return wide;
}

Text narrow(std::wstring_view wide) {
    Bytes units((wide.size() + 1) * sizeof(wchar_t), 0);
    std::memcpy(units.data(), wide.data(), wide.size() * sizeof(wchar_t));
    return fromWide(units, kCodePageGbk);
}

}  // namespace zelbrin
