// Folding the cookies a response set into the ones a request sent. Entries are "name=value"
// separated by ";" on input and "; " on output; names and entries compare byte for byte.
#pragma once

#include <string_view>

#include "text/text.h"

namespace zelbrin {

// The cookie text for the next request: the response's entries first, in its order, then the
// caller's entries whose names it did not set; entries it set to «deleted» are gone, exact
// repeats collapse. Both arguments lose their spaces in place and `cookies` receives the result.
Text mergeCookies(Text& cookies, Text& newCookies);

// The entry's name: the text before its first "=", or the whole entry, without outer spaces.
Text cookieKey(std::string_view entry);
bool hasCookieKey(const TextList& entries, std::string_view key);

// `text` split at `separator`, each member kept once (the first wins), joined by `separator`.
Text dedupeJoined(std::string_view text, std::string_view separator);

// 1-based position of the first member equal to `text`, -1 when there is none.
int indexOfText(const TextList& list, std::string_view text);

}  // namespace zelbrin
