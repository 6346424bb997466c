#include "app/shell.h"

namespace zelbrin {

// The portable front ends have no contact buttons, so there is nothing to open here.
void openContactLink(std::string_view) {}

}  // namespace zelbrin
