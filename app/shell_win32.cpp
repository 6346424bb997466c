// https://learn.microsoft.com/en-us/windows/win32/api/shellapi/nf-shellapi-shellexecutew
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "app/shell.h"
#include "text/wide_text.h"

namespace zelbrin {

void openContactLink(std::string_view address) {
    const std::wstring wide = widen(address);
    // "open" with no parameters and no working folder; the result is ignored on purpose.
    ShellExecuteW(nullptr, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

}  // namespace zelbrin
