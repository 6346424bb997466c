// Base64 of RFC 4648 (section 4): the standard alphabet, "=" padding, one line.
#pragma once

#include "text/text.h"

namespace zelbrin {

// «abc» gives «YWJj», «a» gives «YQ==», an empty buffer the empty text.
Text base64Encode(const Bytes& bytes);

}  // namespace zelbrin
