// Fuzzes the text primitives and extraction helpers. findText is held against a plain search
// that walks the text the way every search of the program is defined to (a byte of 0x80 or above
// leads a two-byte character); the others against invariants that any correct result keeps.
#include <fuzzer/FuzzedDataProvider.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>

#include "tests/fuzz/fuzz_support.h"
#include "text/text.h"

namespace zelbrin {
namespace {

using fuzz::check;

bool isLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }
char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares `sought` with the characters of `text` from `p`: a single-byte character folds its
// ASCII letter when asked, both bytes of a two-byte character compare exactly.
bool sameAt(std::string_view text, std::size_t p, std::string_view sought, bool ignoreCase) {
    for (std::size_t i = 0; i < sought.size(); ++i) {
        if (isLead(text[p + i])) {
            if (text[p + i] != sought[i]) return false;
            if (i + 1 < sought.size()) {
                ++i;
                if (text[p + i] != sought[i]) return false;
            }
        } else if (ignoreCase ? fold(text[p + i]) != fold(sought[i]) : text[p + i] != sought[i]) {
            return false;
        }
    }
    return true;
}

int referenceFind(std::string_view text, std::string_view sought, std::optional<int> start,
                  bool ignoreCase) {
    const int from = (!start || *start < 1) ? 1 : *start;
    if (from > static_cast<int>(text.size())) return -1;
    if (sought.empty()) return 1;
    std::size_t p = static_cast<std::size_t>(from - 1);
    while (p < text.size()) {
        if (text.size() - p >= sought.size() && sameAt(text, p, sought, ignoreCase)) {
            return static_cast<int>(p) + 1;
        }
        if (isLead(text[p])) {
            if (p + 1 >= text.size()) break;  // a lead byte before the terminator ends the walk
            p += 2;
        } else {
            p += 1;
        }
    }
    return -1;
}

// 1-based positions where a character of `text` starts; a start elsewhere is never passed.
std::set<int> characterStarts(std::string_view text) {
    std::set<int> starts;
    for (std::size_t p = 0; p < text.size(); p += isLead(text[p]) ? 2 : 1) {
        starts.insert(static_cast<int>(p) + 1);
    }
    return starts;
}

// Whether a space character (" " or the full-width A1 A1) starts at byte `p`.
bool spaceAt(std::string_view text, std::size_t p) {
    return text[p] == ' ' || (p + 1 < text.size() && text.compare(p, 2, "\xA1\xA1") == 0);
}

bool holdsSpaceCharacter(std::string_view text) {
    for (std::size_t p = 0; p < text.size(); p += isLead(text[p]) ? 2 : 1) {
        if (spaceAt(text, p)) return true;
    }
    return false;
}

void checkFind(std::string_view text, std::string_view sought, std::optional<int> start,
               bool ignoreCase) {
    if (start && *start > 1 && *start <= static_cast<int>(text.size()) &&
        characterStarts(text).count(*start) == 0) {
        return;
    }
    check(
        findText(text, sought, start, ignoreCase) == referenceFind(text, sought, start, ignoreCase),
        "findText agrees with the character-wise reference search");
}

void checkExtraction(std::string_view text, std::string_view left, std::string_view right,
                     int start) {
    const int at = findText(text, left, start);
    const Text before = textBefore(text, left, start);
    check(at == -1 ? before.empty() : before == text.substr(0, static_cast<std::size_t>(at - 1)),
          "textBefore is everything before the marker, from the first byte");
    // "#" may spell a placeholder for a quote; such markers are not the ones searched.
    if (left.find('#') != std::string_view::npos || right.find('#') != std::string_view::npos) {
        return;
    }
    const Text between = textBetween(text, left, right, start);
    if (between.empty()) return;
    check(at != -1, "textBetween finds something only after the left marker");
    const Text framed = Text(left) + between + Text(right);
    check(text.substr(static_cast<std::size_t>(at - 1), framed.size()) == framed,
          "textBetween's result stands between the first left marker and a right marker");
}

void checkReplace(std::string_view text, std::string_view sought, std::string_view replacement,
                  int start, std::optional<int> count, bool matchCase) {
    const Text replaced = replaceText(text, sought, replacement, start, count, matchCase);
    if (count && *count == 0) check(replaced == text, "a count of 0 replaces nothing");
    if (matchCase) {
        check(replaceText(text, sought, sought, start, count, true) == text,
              "replacing a text by itself changes nothing");
    }
    if (sought.empty()) return;
    // Every occurrence, exactly, from the start: the members of a split joined by the
    // replacement, plus one replacement for a trailing delimiter that split dropped.
    const TextList members = splitText(text, sought);
    Text expected = fuzz::joined(members, replacement);
    if (fuzz::joined(members, sought) != text) expected += replacement;
    check(replaceText(text, sought, replacement, 1, {}, true) == expected,
          "replaceText agrees with splitText");
}

void checkSplit(std::string_view text, std::string_view delimiter, int maxMembers) {
    const TextList all = splitText(text, delimiter);
    const Text joined = fuzz::joined(all, delimiter);
    check(joined == text || (!delimiter.empty() && joined + Text(delimiter) == text),
          "joining the members reproduces the text, less a trailing delimiter");
    if (!delimiter.empty() && fuzz::isWholeGbk(delimiter)) {
        for (const Text& member : all) {
            check(findText(member, delimiter) == -1, "no member holds the delimiter");
        }
    }
    const TextList limited = splitText(text, delimiter, maxMembers);
    const std::size_t expected =
        maxMembers <= 0 ? 0 : std::min(all.size(), std::size_t(maxMembers));
    check(limited.size() == expected, "a maximum keeps at most that many members");
    check(std::equal(limited.begin(), limited.end(), all.begin()),
          "a maximum keeps the first members");
}

void checkSpaces(std::string_view text) {
    const Text removed = removeSpaces(text);
    check(!holdsSpaceCharacter(removed), "removeSpaces leaves no space character");
    check(removeSpaces(removed) == removed, "removeSpaces is idempotent");

    const Text trimmed = trimSpaces(text);
    check(trimSpaces(trimmed) == trimmed, "trimSpaces is idempotent");
    check(removeSpaces(trimmed) == removed, "trimSpaces removes spaces only");
    check(trimmed.empty() || !spaceAt(trimmed, 0), "trimSpaces leaves no leading space");
    if (!trimmed.empty()) {
        std::size_t last = 0;
        for (std::size_t p = 0; p < trimmed.size(); p += isLead(trimmed[p]) ? 2 : 1) last = p;
        check(!spaceAt(trimmed, last), "trimSpaces leaves no trailing space");
    }
}

// «３» for 3, «－» for "-", «　» for " ": the full-width forms textToInt reads like ASCII.
Text fullWidth(std::string_view ascii) {
    Text out;
    for (char c : ascii) {
        out += c == ' ' ? Text("\xA1\xA1") : Text{'\xA3', static_cast<char>(c + 0x80)};
    }
    return out;
}

void checkNumbers(std::string_view text, int integer, double real, int decimals) {
    (void)textToInt(text);
    const Text written = numberToText(integer);
    check(textToInt(written) == integer, "textToInt reads what numberToText wrote");
    const Text withSign = integer < 0 ? written : "+" + written;
    check(textToInt(" \t" + withSign) == integer, "textToInt skips white space and takes a sign");
    check(textToInt(fullWidth(" " + withSign)) == integer,
          "full-width digits, signs and spaces read as ASCII");
    const bool digitFollows =
        (!text.empty() && text[0] >= '0' && text[0] <= '9') ||
        (text.size() >= 2 && text[0] == '\xA3' && static_cast<unsigned char>(text[1]) >= 0xB0 &&
         static_cast<unsigned char>(text[1]) <= 0xB9);
    check(digitFollows || textToInt(written + Text(text)) == integer,
          "textToInt stops at the first byte that is not a digit");

    const Text realText = numberToText(real);
    if (std::isfinite(real)) {
        char* end = nullptr;
        const double back = std::strtod(realText.c_str(), &end);
        check(*end == '\0', "numberToText writes a whole number");
        check(std::fabs(back - real) <= std::max(std::fabs(real) * 1e-12, 1e-300),
              "numberToText keeps 13 significant digits");
        const std::size_t e = realText.find('e');
        check(e == std::string::npos || realText.size() - e >= 5,
              "the exponent has a sign and at least three digits");
    }

    if (!std::isfinite(real) || std::fabs(real) * std::pow(10.0, decimals) >= 1e15) return;
    const double rounded = roundNumber(real, decimals);
    const double unit = std::pow(10.0, -decimals);
    check(std::fabs(rounded - real) <= unit * (0.5 + 1e-9) + std::fabs(real) * 1e-15,
          "roundNumber moves by at most half a unit of the last decimal");
    check(rounded == 0 || std::signbit(rounded) == std::signbit(real),
          "roundNumber keeps the sign");
    check(roundNumber(-real, decimals) == -rounded, "halves round away from zero, both signs");
}

}  // namespace
}  // namespace zelbrin

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelbrin;
    FuzzedDataProvider input(data, size);
    const Text sought = fuzz::asText(input.ConsumeRandomLengthString(12));
    const Text other = fuzz::asText(input.ConsumeRandomLengthString(12));
    const bool flag = input.ConsumeBool();
    const int startChoice = input.ConsumeIntegralInRange<int>(-2, 300);
    const std::optional<int> count =
        input.ConsumeBool() ? std::optional<int>(input.ConsumeIntegralInRange<int>(-1, 4))
                            : std::nullopt;
    const int maxMembers = input.ConsumeIntegralInRange<int>(-1, 8);
    const int integer = input.ConsumeIntegral<int>();
    const double real = input.ConsumeFloatingPoint<double>();
    const int decimals = input.ConsumeIntegralInRange<int>(-6, 6);
    const Text text = fuzz::asText(input.ConsumeRemainingBytesAsString());

    const std::optional<int> start =
        startChoice == -2 ? std::nullopt : std::optional<int>(startChoice);
    checkFind(text, sought, start, flag);
    checkFind(text, sought, start, !flag);
    checkExtraction(text, sought, other, startChoice);
    checkReplace(text, sought, other, startChoice, count, flag);
    checkSplit(text, sought, maxMembers);
    checkSplit(text, ",", maxMembers);
    checkSpaces(text);
    checkNumbers(text, integer, real, decimals);
    return 0;
}
