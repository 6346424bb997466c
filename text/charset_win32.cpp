// Code-page conversion with the Win32 functions. No default character of our own, so the code
// page's default ("?" for 936) stands in for every character it lacks.
// https://learn.microsoft.com/windows/win32/api/stringapiset/nf-stringapiset-multibytetowidechar
// https://learn.microsoft.com/windows/win32/api/stringapiset/nf-stringapiset-widechartomultibyte
#include <windows.h>

#include <string>

#include "text/charset.h"

namespace zelbrin {

Bytes toWide(std::string_view text, std::optional<int> codePage) {
    const auto page = static_cast<UINT>(codePage.value_or(kCodePageUtf8));
    // The terminator goes in with the text, so the result always ends with a zero unit.
    const std::string input(text.substr(0, text.find('\0')));
    const int inputLength = static_cast<int>(input.size()) + 1;
    const int units = MultiByteToWideChar(page, 0, input.c_str(), inputLength, nullptr, 0);
    if (units <= 0) return {0, 0};
    std::wstring wide(static_cast<std::size_t>(units), L'\0');
    if (MultiByteToWideChar(page, 0, input.c_str(), inputLength, wide.data(), units) <= 0) {
        return {0, 0};
    }
    Bytes bytes;
    bytes.reserve(wide.size() * 2);
    for (wchar_t unit : wide) {
        bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        bytes.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
    }
    return bytes;
}

Text fromWide(const Bytes& wide, std::optional<int> codePage) {
    const auto page = static_cast<UINT>(codePage.value_or(kCodePageGbk));
    std::wstring units;
    for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
        const auto unit = static_cast<wchar_t>(wide[i] | (wide[i + 1] << 8));
        if (unit == 0) break;
        units += unit;
    }
    if (units.empty()) return {};
    const int inputLength = static_cast<int>(units.size()) + 1;
    // Without WC_NO_BEST_FIT_CHARS Windows writes look-alikes («²» as «2»); every character
    // the code page lacks must become "?" instead, as on every other platform.
    const DWORD flags = page == kCodePageUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int size =
        WideCharToMultiByte(page, flags, units.c_str(), inputLength, nullptr, 0, nullptr, nullptr);
    if (size <= 0) return {};
    // Room for twice what the conversion asks, filled with spaces; the result is cut at the
    // terminator, so none of them reach the caller.
    Text out = blankText(size * 2);
    if (WideCharToMultiByte(page, flags, units.c_str(), inputLength, out.data(), size * 2, nullptr,
                            nullptr) <= 0) {
        return {};
    }
    return Text(out.c_str());
}

}  // namespace zelbrin
