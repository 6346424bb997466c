// https://learn.microsoft.com/windows/win32/api/libloaderapi/nf-libloaderapi-getmodulefilenamew
#include <windows.h>

#include <string>

#include "download/paths.h"
#include "text/wide_text.h"

namespace zelbrin {
std::filesystem::path nativePath(std::string_view path) {
    return std::filesystem::path(widen(path));
}

Text runDirectory() {
    std::wstring buffer(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (length == 0 || length >= buffer.size()) return {};
    buffer.resize(length);
    buffer.resize(buffer.rfind(L'\\') == std::wstring::npos ? 0 : buffer.rfind(L'\\'));
    return narrow(buffer);
}

}  // namespace zelbrin
