// The typing rule of 编辑框1, shared by the window's edit box and the headless model.
#pragma once

namespace zelbrin {

// Characters below the space are control keys (backspace, Ctrl+V, ...) and always pass; of
// the rest only the digits and "-" are accepted. A paste is not typing and is not filtered.
constexpr bool acceptsTypedCharacter(unsigned int character) {
    return character < 0x20 || (character >= '0' && character <= '9') || character == '-';
}

}  // namespace zelbrin
