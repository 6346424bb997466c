#include "net/cookies.h"

namespace zelbrin {

Text cookieKey(std::string_view entry) {
    const int equals = findText(entry, "=");
    if (equals == -1) return trimSpaces(entry);
    return trimSpaces(leftText(entry, equals - 1));
}

bool hasCookieKey(const TextList& entries, std::string_view key) {
    for (const Text& entry : entries) {
        if (textEquals(cookieKey(entry), key)) return true;
    }
    return false;
}

int indexOfText(const TextList& list, std::string_view text) {
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (textEquals(list[i], text)) return static_cast<int>(i) + 1;
    }
    return -1;
}

Text dedupeJoined(std::string_view text, std::string_view separator) {
    TextList kept;
    Text joined;
    for (const Text& member : splitText(text, separator)) {
        if (indexOfText(kept, member) != -1) continue;
        kept.push_back(member);
        joined += member;
        joined += separator;
    }
    return leftText(joined, textLength(joined) - textLength(separator));
}

Text mergeCookies(Text& cookies, Text& newCookies) {
    cookies = removeSpaces(cookies);
    newCookies = removeSpaces(newCookies);
    const TextList old = splitText(cookies, ";");
    TextList merged = splitText(newCookies, ";");
    // The list grows while it is checked, so of several old entries with one name only the
    // first is taken, and no old entry displaces one the response set.
    for (const Text& entry : old) {
        if (!hasCookieKey(merged, cookieKey(entry))) merged.push_back(entry);
    }
    Text result;
    for (const Text& entry : merged) {
        if (textEquals(rightText(entry, 8), "=deleted")) continue;
        result += entry;
        result += "; ";
    }
    result = leftText(result, textLength(result) - 2);
    cookies = dedupeJoined(result, "; ");
    return cookies;
}

}  // namespace zelbrin
