#include "text/charset.h"

namespace zelbrin {
namespace {

using Units = std::u16string;

Units unitsOf(const Bytes& wide) {
    Units units;
    for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
        const auto unit = static_cast<char16_t>(wide[i] | (wide[i + 1] << 8));
        if (unit == 0) break;
        units += unit;
    }
    return units;
}

Bytes bytesOf(const Units& units) {
    Bytes wide;
    wide.reserve(units.size() * 2 + 2);
    for (char16_t unit : units) {
        wide.push_back(static_cast<std::uint8_t>(unit & 0xFF));
        wide.push_back(static_cast<std::uint8_t>(unit >> 8));
    }
    wide.push_back(0);
    wide.push_back(0);
    return wide;
}

int hexValue(char16_t unit) {
    if (unit >= u'0' && unit <= u'9') return unit - u'0';
    if (unit >= u'a' && unit <= u'f') return unit - u'a' + 10;
    if (unit >= u'A' && unit <= u'F') return unit - u'A' + 10;
    return -1;
}

// The value of `count` hex digits at `at`, or -1 when any of them is missing or not a digit.
int hexAt(const Units& units, std::size_t at, std::size_t count) {
    if (units.size() < at + count) return -1;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const int digit = hexValue(units[at + i]);
        if (digit < 0) return -1;
        value = value * 16 + digit;
    }
    return value;
}

// ECMAScript's unescape (ECMA-262, B.2.1.2): "%uXXXX" gives that code unit, "%XX" the unit
// 00XX, everything else stays as it is.
Units unescapeUnits(const Units& in) {
    Units out;
    out.reserve(in.size());
    for (std::size_t k = 0; k < in.size(); ++k) {
        const char16_t unit = in[k];
        if (unit == u'%') {
            if (k + 1 < in.size() && in[k + 1] == u'u') {
                const int value = hexAt(in, k + 2, 4);
                if (value >= 0) {
                    out += static_cast<char16_t>(value);
                    k += 5;
                    continue;
                }
            }
            const int value = hexAt(in, k + 1, 2);
            if (value >= 0) {
                out += static_cast<char16_t>(value);
                k += 2;
                continue;
            }
        }
        out += unit;
    }
    return out;
}

}  // namespace

Text utf8ToGbk(std::string_view utf8) { return fromWide(toWide(utf8), kCodePageGbk); }

Text gbkToUtf8(std::string_view gbk) { return fromWide(toWide(gbk, kCodePageGbk), kCodePageUtf8); }

Text decodeHexEntities(std::string_view text, std::string_view marker) {
    const Text marked = replaceText(text, marker, "%u", 1, {}, true);
    const Units decoded = unescapeUnits(unitsOf(toWide(marked, kCodePageGbk)));
    return fromWide(bytesOf(decoded), kCodePageGbk);
}

}  // namespace zelbrin
