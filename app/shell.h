// Handing an address to the system shell, as the contact buttons do.
#pragma once

#include <string_view>

namespace zelbrin {

// Opens the address with the shell's default handler (the browser for a web address) and
// returns at once. The outcome is not reported: an address nothing can open is ignored.
void openContactLink(std::string_view address);

}  // namespace zelbrin
