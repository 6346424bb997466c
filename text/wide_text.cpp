#include "text/wide_text.h"

#include "text/charset.h"

namespace zelbrin {

// Unit by unit rather than by memcpy: wchar_t is 16 bits on Windows but 32 bits elsewhere,
// and the code must give the same units on both.
std::wstring widen(std::string_view text) {
    const Bytes units = toWide(text, kCodePageGbk);
    std::wstring wide;
    wide.reserve(units.size() / 2);
    for (std::size_t i = 0; i + 1 < units.size(); i += 2) {
        const auto unit = static_cast<wchar_t>(units[i] | (units[i + 1] << 8));
        if (unit == L'\0') break;
        wide.push_back(unit);
    }
    return wide;
}

Text narrow(std::wstring_view wide) {
    Bytes units;
    units.reserve(wide.size() * 2 + 2);
    for (wchar_t unit : wide) {
        units.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        units.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
    }
    units.push_back(0);
    units.push_back(0);
    return fromWide(units, kCodePageGbk);
}

}  // namespace zelbrin
