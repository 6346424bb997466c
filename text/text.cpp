#include "text/text.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace zelbrin {
namespace {

bool isLeadByte(unsigned char byte) { return byte >= 0x80; }

// Bytes of the character that starts at `index`: two for a lead byte, unless the text ends
// after it.
std::size_t charWidth(std::string_view text, std::size_t index) {
    if (isLeadByte(static_cast<unsigned char>(text[index])) && index + 1 < text.size()) return 2;
    return 1;
}

char foldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Compares `sought` with the bytes of `text` at `index`. Folding touches ASCII letters only;
// both bytes of a two-byte character compare exactly, since a trail byte may look like a letter.
bool matchesAt(std::string_view text, std::size_t index, std::string_view sought, bool foldCase) {
    if (text.size() - index < sought.size()) return false;
    if (!foldCase) return text.compare(index, sought.size(), sought) == 0;
    for (std::size_t i = 0; i < sought.size(); ++i) {
        const char a = text[index + i];
        const char b = sought[i];
        if (isLeadByte(static_cast<unsigned char>(a))) {
            if (a != b) return false;
            if (i + 1 < sought.size()) {
                ++i;
                if (text[index + i] != sought[i]) return false;
            }
            continue;
        }
        if (foldAscii(a) != foldAscii(b)) return false;
    }
    return true;
}

bool isFullWidthSpace(std::string_view text, std::size_t index) {
    return index + 1 < text.size() && static_cast<unsigned char>(text[index]) == 0xA1 &&
           static_cast<unsigned char>(text[index + 1]) == 0xA1;
}

// Width of the space at `index` (ASCII or full-width), 0 when no space starts there.
std::size_t spaceWidth(std::string_view text, std::size_t index) {
    if (text[index] == ' ') return 1;
    if (isFullWidthSpace(text, index)) return 2;
    return 0;
}

std::string_view cutAtZero(std::string_view text) { return text.substr(0, text.find('\0')); }

// Full-width characters of code page 936 (A3 A1..A3 FE) read as their ASCII counterparts and
// the full-width space as a space, so a typed «３００２５» converts like «30025».
std::string asciiFromFullWidth(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t width = charWidth(text, i);
        const auto lead = static_cast<unsigned char>(text[i]);
        const auto trail = width == 2 ? static_cast<unsigned char>(text[i + 1]) : 0;
        if (width == 2 && lead == 0xA3 && trail >= 0xA1 && trail <= 0xFE) {
            out += static_cast<char>(trail - 0x80);
        } else if (width == 2 && lead == 0xA1 && trail == 0xA1) {
            out += ' ';
        } else {
            out.append(text.substr(i, width));
        }
        i += width;
    }
    return out;
}

bool isCSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// "%.13g" built from the correctly rounded digits of std::to_chars, so the text does not depend
// on the C library's printf (whose exponent width and rounding of halves differ between
// glibc and msvcrt).
Text formatG13(double value) {
    if (std::isnan(value)) return "nan";
    if (std::isinf(value)) return value < 0 ? "-inf" : "inf";
    constexpr int kPrecision = 13;
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                                      std::chars_format::scientific, kPrecision - 1);
    const std::string_view scientific(buffer, static_cast<std::size_t>(result.ptr - buffer));
    const std::size_t ePos = scientific.find('e');
    const bool negative = scientific.front() == '-';
    std::string digits;
    for (char c : scientific.substr(0, ePos)) {
        if (c >= '0' && c <= '9') digits += c;
    }
    const int exponent = std::atoi(std::string(scientific.substr(ePos + 1)).c_str());

    std::string out = negative ? "-" : "";
    auto stripZeros = [](std::string& fraction) {
        while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    };
    if (exponent < -4 || exponent >= kPrecision) {
        std::string fraction = digits.substr(1);
        stripZeros(fraction);
        out += digits[0];
        if (!fraction.empty()) out += "." + fraction;
        const int magnitude = exponent < 0 ? -exponent : exponent;
        const std::string expDigits = std::to_string(magnitude);
        out += exponent < 0 ? "e-" : "e+";
        if (expDigits.size() < 3) out.append(3 - expDigits.size(), '0');
        out += expDigits;
        return out;
    }
    std::string whole;
    std::string fraction;
    if (exponent >= 0) {
        whole = digits.substr(0, static_cast<std::size_t>(exponent) + 1);
        fraction = digits.substr(static_cast<std::size_t>(exponent) + 1);
    } else {
        whole = "0";
        fraction = std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    }
    stripZeros(fraction);
    out += whole;
    if (!fraction.empty()) out += "." + fraction;
    return out;
}

}  // namespace

int textLength(std::string_view text) { return static_cast<int>(text.size()); }

bool textEquals(std::string_view a, std::string_view b) { return a == b; }

int findText(std::string_view text, std::string_view sought, std::optional<int> start,
             bool ignoreCase) {
    const int length = textLength(text);
    const int from = (!start || *start < 1) ? 1 : *start;
    if (from > length) return -1;
    if (sought.empty()) return 1;
    for (std::size_t i = static_cast<std::size_t>(from - 1);
         i < text.size() && text.size() - i >= sought.size(); i += charWidth(text, i)) {
        if (matchesAt(text, i, sought, ignoreCase)) return static_cast<int>(i) + 1;
    }
    return -1;
}

Text leftText(std::string_view text, int count) {
    if (count <= 0) return {};
    return Text(text.substr(0, static_cast<std::size_t>(count)));
}

Text rightText(std::string_view text, int count) {
    if (count <= 0) return {};
    const auto n = static_cast<std::size_t>(count);
    if (n >= text.size()) return Text(text);
    return Text(text.substr(text.size() - n));
}

Text midText(std::string_view text, int start, int count) {
    if (start < 1 || start > textLength(text) || count <= 0) return {};
    return Text(text.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(count)));
}

Text replaceText(std::string_view text, std::string_view sought, std::string_view replacement,
                 int start, std::optional<int> count, bool matchCase) {
    if (text.empty() || sought.empty() || start > textLength(text) || (count && *count == 0)) {
        return Text(text);
    }
    const std::size_t from = start <= 1 ? 0 : static_cast<std::size_t>(start - 1);
    int remaining = (count && *count > 0) ? *count : -1;
    Text out(text.substr(0, from));
    std::size_t i = from;
    while (i < text.size() && text.size() - i >= sought.size()) {
        if (matchesAt(text, i, sought, !matchCase)) {
            out.append(replacement);
            i += sought.size();
            if (remaining > 0 && --remaining == 0) break;
            continue;
        }
        const std::size_t width = charWidth(text, i);
        out.append(text.substr(i, width));
        i += width;
    }
    out.append(text.substr(i));
    return out;
}

TextList splitText(std::string_view text, std::string_view delimiter,
                   std::optional<int> maxMembers) {
    TextList members;
    if (text.empty() || (maxMembers && *maxMembers <= 0)) return members;
    if (delimiter.empty()) return {Text(text)};
    const std::size_t limit = maxMembers ? static_cast<std::size_t>(*maxMembers) : SIZE_MAX;
    std::size_t memberStart = 0;
    std::size_t i = 0;
    while (i < text.size() && text.size() - i >= delimiter.size()) {
        if (matchesAt(text, i, delimiter, false)) {
            members.emplace_back(text.substr(memberStart, i - memberStart));
            i += delimiter.size();
            memberStart = i;
            if (members.size() == limit) return members;
            continue;
        }
        i += charWidth(text, i);
    }
    if (memberStart < text.size() && members.size() < limit) {
        members.emplace_back(text.substr(memberStart));
    }
    return members;
}

Text trimSpaces(std::string_view text) {
    std::size_t first = text.size();
    std::size_t end = 0;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t space = spaceWidth(text, i);
        if (space != 0) {
            i += space;
            continue;
        }
        const std::size_t width = charWidth(text, i);
        if (first == text.size()) first = i;
        i += width;
        end = i;
    }
    if (first >= end) return {};
    return Text(text.substr(first, end - first));
}

Text removeSpaces(std::string_view text) {
    Text out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t space = spaceWidth(text, i);
        if (space != 0) {
            i += space;
            continue;
        }
        const std::size_t width = charWidth(text, i);
        out.append(text.substr(i, width));
        i += width;
    }
    return out;
}

int textToInt(std::string_view text) {
    const std::string ascii = asciiFromFullWidth(text);
    std::size_t i = 0;
    while (i < ascii.size() && isCSpace(ascii[i])) ++i;
    bool negative = false;
    if (i < ascii.size() && (ascii[i] == '+' || ascii[i] == '-')) negative = ascii[i++] == '-';
    // Accumulate the magnitude in 64 bits and stop growing once past the 32-bit range, so any
    // number of typed digits saturates instead of overflowing.
    constexpr long long kCap = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < ascii.size() && ascii[i] >= '0' && ascii[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (ascii[i] - '0');
        if (magnitude > kCap) magnitude = kCap;
    }
    if (negative) return static_cast<int>(-magnitude);
    return magnitude > INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

Text numberToText(int value) { return std::to_string(value); }

Text numberToText(double value) { return formatG13(value); }

double roundNumber(double value, int decimals) {
    if (value == 0) return value;
    const double magnitude = std::fabs(value);
    const double scale = std::pow(10.0, decimals < 0 ? -decimals : decimals);
    double scaled = magnitude;
    if (decimals > 0) scaled = magnitude * scale;
    if (decimals < 0) scaled = magnitude / scale;
    double whole = 0;
    const double fraction = std::modf(scaled + 1e-12, &whole);
    double rounded = fraction >= 0.5 ? whole + 1 : whole;
    if (decimals > 0) rounded /= scale;
    if (decimals < 0) rounded *= scale;
    return value < 0 ? -rounded : rounded;
}

double remainder(double dividend, double divisor) {
    return dividend - divisor * std::trunc(dividend / divisor);
}

int charCode(std::string_view text, int position) {
    if (position < 1 || position > textLength(text)) return 0;
    return static_cast<signed char>(text[static_cast<std::size_t>(position - 1)]);
}

Bytes textToBytes(std::string_view text) {
    text = cutAtZero(text);
    return Bytes(text.begin(), text.end());
}

Text bytesToText(const Bytes& bytes) {
    Text text(bytes.begin(), bytes.end());
    return Text(cutAtZero(text));
}

Text blankText(int count) {
    return count < 1 ? Text() : Text(static_cast<std::size_t>(count), ' ');
}

Bytes blankBytes(int count) {
    return count <= 0 ? Bytes() : Bytes(static_cast<std::size_t>(count), 0);
}

Text textBefore(std::string_view text, std::string_view marker, int start, bool ignoreCase) {
    const int position = findText(text, marker, start < 1 ? 1 : start, ignoreCase);
    if (position == -1) return {};
    return leftText(text, position - 1);
}

Text textBetween(std::string_view text, std::string_view left, std::string_view right, int start,
                 bool ignoreCase) {
    // Markers are written in source as literals, where a double quote is awkward; "#引号"
    // spells one.
    static constexpr std::string_view kQuotePlaceholder = "#引号";
    const Text leftMarker = replaceText(left, kQuotePlaceholder, "\"", 1, {}, true);
    const Text rightMarker = replaceText(right, kQuotePlaceholder, "\"", 1, {}, true);
    const int leftAt = findText(text, leftMarker, start < 1 ? 1 : start, ignoreCase);
    if (leftAt == -1) return {};
    const int after = leftAt + textLength(leftMarker);
    const int rightAt = findText(text, rightMarker, after, ignoreCase);
    if (rightAt == -1) return {};
    return midText(text, after, rightAt - after);
}

Text replaceMany(std::string_view text, std::optional<int> count, int start, bool matchCase,
                 std::initializer_list<Replacement> pairs) {
    Text result(text);
    const int from = start == 0 ? 1 : start;
    for (const Replacement& pair : pairs) {
        result = replaceText(result, pair.find, pair.with, from, count, matchCase);
    }
    return result;
}

}  // namespace zelbrin
