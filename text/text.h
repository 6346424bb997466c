// The text, number and byte operations every parser of the program is built from.
//
// A Text is a byte string in code page 936 (GBK) with no zero byte inside; an absent text and
// the empty text are the same value. Lengths and positions count bytes, positions are 1-based
// and a failed search gives -1. The searching operations walk two-byte characters as units
// (a byte of 0x80 or above leads a two-byte character), the cutting operations count bytes.
// Nothing here throws, keeps state or reports an error: odd input maps to "", -1 or 0.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zelbrin {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
using TextList = std::vector<Text>;

int textLength(std::string_view text);
bool textEquals(std::string_view a, std::string_view b);

// Position of the first `sought` at or after `start` (omitted or below 1: from the first byte).
// An empty `sought` is found at 1 whenever the text from the start on is not empty.
int findText(std::string_view text, std::string_view sought, std::optional<int> start = {},
             bool ignoreCase = false);

Text leftText(std::string_view text, int count);
Text rightText(std::string_view text, int count);
Text midText(std::string_view text, int start, int count);

// Replaces `count` occurrences (omitted or negative: all; 0: none) from `start` on. Without
// `matchCase` ASCII letters match regardless of case.
Text replaceText(std::string_view text, std::string_view sought, std::string_view replacement = {},
                 int start = 1, std::optional<int> count = {}, bool matchCase = false);

// Keeps empty members at the start and between delimiters, drops a trailing empty one.
TextList splitText(std::string_view text, std::string_view delimiter = ",",
                   std::optional<int> maxMembers = {});

// Spaces are the ASCII space and the full-width space A1 A1 only.
Text trimSpaces(std::string_view text);
Text removeSpaces(std::string_view text);

// Leading number of the text; full-width digits, signs and spaces count as their ASCII
// counterparts. Values beyond 32 bits saturate at INT32_MIN / INT32_MAX.
int textToInt(std::string_view text);

Text numberToText(int value);
// "%.13g" with at least three exponent digits, identical on every C library: «1e-005».
Text numberToText(double value);

// Rounds halves away from zero after adding 1e-12 to the scaled magnitude.
double roundNumber(double value, int decimals = 0);
// dividend − divisor × trunc(dividend ÷ divisor): the sign is the dividend's.
double remainder(double dividend, double divisor);

// The byte at `position` as a signed byte; 0 outside 1..length.
int charCode(std::string_view text, int position = 1);

Bytes textToBytes(std::string_view text);
// The bytes before the first zero byte.
Text bytesToText(const Bytes& bytes);
Text blankText(int count);
Bytes blankBytes(int count);

// Everything from the first byte of the text up to the first `marker` found from `start`.
Text textBefore(std::string_view text, std::string_view marker, int start = 1,
                bool ignoreCase = false);

// The text between the first `left` found from `start` and the next `right` after it.
// "#引号" in either marker stands for a double quote.
Text textBetween(std::string_view text, std::string_view left, std::string_view right,
                 int start = 1, bool ignoreCase = false);

struct Replacement {
    Text find;
    Text with;
};

// Applies up to five replacements in order, each to the result of the one before. An omitted
// `count` replaces every occurrence; a given 0 replaces none.
Text replaceMany(std::string_view text, std::optional<int> count, int start, bool matchCase,
                 std::initializer_list<Replacement> pairs);

}  // namespace zelbrin
