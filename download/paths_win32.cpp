// https://learn.microsoft.com/windows/win32/api/libloaderapi/nf-libloaderapi-getmodulefilenamew
#include <windows.h>

#include <string>

#include "download/paths.h"
#include "text/charset.h"

namespace zelbrin {
namespace {

std::wstring wideFromGbk(std::string_view text) {
    const Bytes wide = toWide(text, kCodePageGbk);
    std::wstring out(wide.size() / 2, L'\0');
    for (size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<wchar_t>(wide[2 * i] | (wide[2 * i + 1] << 8));
    }
    while (!out.empty() && out.back() == L'\0') out.pop_back();
    return out;
}

Text gbkFromWide(const std::wstring& text) {
    Bytes wide;
    wide.reserve(text.size() * 2 + 2);
    for (wchar_t unit : text) {
        wide.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        wide.push_back(static_cast<std::uint8_t>((unit >> 8) & 0xFF));
    }
    wide.push_back(0);
    wide.push_back(0);
    return fromWide(wide, kCodePageGbk);
}

}  // namespace

std::filesystem::path nativePath(std::string_view path) {
    return std::filesystem::path(wideFromGbk(path));
}

Text runDirectory() {
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {};
    buffer.resize(length);
    buffer.resize(buffer.rfind(L'\\') == std::wstring::npos ? 0 : buffer.rfind(L'\\'));
    return gbkFromWide(buffer);
}

}  // namespace zelbrin
