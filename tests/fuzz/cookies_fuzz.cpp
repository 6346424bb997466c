// Fuzzes the cookie merge: whatever the two cookie texts hold, the result keeps the entries the
// response set, drops the deleted ones, keeps each entry once and is what `cookies` holds after.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <set>

#include "net/cookies.h"
#include "tests/fuzz/fuzz_support.h"

namespace zelbrin {
namespace {

using fuzz::check;

bool contains(const TextList& list, const Text& entry) {
    return std::find(list.begin(), list.end(), entry) != list.end();
}

void checkMerge(const Text& sent, const Text& set) {
    Text cookies = sent;
    Text newCookies = set;
    const Text merged = mergeCookies(cookies, newCookies);

    check(cookies == merged, "cookies holds the merged text afterwards");
    check(newCookies == removeSpaces(set), "newCookies loses its spaces in place");

    // With lone or invalid lead bytes an entry may swallow the separator after it, so the
    // entry-wise checks below hold for texts of whole code page 936 characters.
    if (!fuzz::isWholeGbk(sent) || !fuzz::isWholeGbk(set)) return;
    check(mergeCookies(cookies, newCookies) == merged,
          "merging the same answer again changes nothing");
    const TextList result = splitText(merged, "; ");
    const TextList oldEntries = splitText(removeSpaces(sent), ";");
    const TextList newEntries = splitText(removeSpaces(set), ";");

    std::set<Text> seen;
    for (const Text& entry : result) {
        check(seen.insert(entry).second, "no entry appears twice");
        check(rightText(entry, 8) != "=deleted", "no deleted entry remains");
        check(entry.find(' ') == Text::npos && entry.find(';') == Text::npos,
              "entries hold no space and no separator");
        check(contains(newEntries, entry) ||
                  (contains(oldEntries, entry) && !hasCookieKey(newEntries, cookieKey(entry))),
              "an entry is one the response set, or an old one whose name it did not set");
    }
    for (const Text& entry : newEntries) {
        if (rightText(entry, 8) == "=deleted") continue;
        // An empty entry after the last separator has nothing to follow it and goes.
        check(entry.empty() || contains(result, entry), "every entry the response set is kept");
    }
}

}  // namespace
}  // namespace zelbrin

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const zelbrin::Text sent = zelbrin::fuzz::asText(input.ConsumeRandomLengthString(256));
    const zelbrin::Text set = zelbrin::fuzz::asText(input.ConsumeRemainingBytesAsString());
    zelbrin::checkMerge(sent, set);
    return 0;
}
