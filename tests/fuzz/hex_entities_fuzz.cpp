// Fuzzes decodeHexEntities: any text and marker decode without a crash; a text with nothing to
// decode comes back unchanged; a reference to a character decodes to what the code page
// conversion writes for it, with the text around it intact.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>

#include "tests/fuzz/fuzz_support.h"
#include "text/charset.h"

namespace zelbrin {
namespace {

using fuzz::check;

// The text survives the trip through UTF-16 unchanged: each of its characters exists in code
// page 936 and reads back as itself.
bool roundTrips(const Text& text) { return fromWide(toWide(text, kCodePageGbk)) == text; }

// Code page 936 bytes of one UTF-16 unit, as the conversion writes it ("?" when it has none).
Text gbkOfUnit(std::uint16_t unit) {
    const Bytes wide = {static_cast<std::uint8_t>(unit & 0xFF),
                        static_cast<std::uint8_t>(unit >> 8), 0, 0};
    return fromWide(wide);
}

void checkDecode(const Text& text, const Text& marker, std::uint16_t unit, const Text& around) {
    const Text decoded = decodeHexEntities(text, marker);
    (void)decodeHexEntities(marker, text);

    if (text.find('%') == Text::npos && roundTrips(text) &&
        (marker.empty() || findText(text, marker, {}, false) == -1)) {
        check(decoded == text, "a text with nothing to decode comes back unchanged");
    }

    // One reference between two texts that hold nothing to decode; a zero unit would end the text.
    if (unit == 0 || around.find('%') != Text::npos || around.find('&') != Text::npos ||
        !roundTrips(around) || !fuzz::isWholeGbk(around)) {
        return;
    }
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04x", unit);
    const Text expected = around + gbkOfUnit(unit) + ";" + around;
    check(decodeHexEntities(around + "&#x" + hex + ";" + around, "&#x") == expected,
          "a reference decodes to its character, the text around it intact");
    check(decodeHexEntities(around + "%u" + hex + ";" + around, "&#x") == expected,
          "%uXXXX decodes like a reference");
}

}  // namespace
}  // namespace zelbrin

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const auto unit = input.ConsumeIntegral<std::uint16_t>();
    const zelbrin::Text marker = zelbrin::fuzz::asText(input.ConsumeRandomLengthString(8));
    const zelbrin::Text around = zelbrin::fuzz::asText(input.ConsumeRandomLengthString(32));
    const zelbrin::Text text = zelbrin::fuzz::asText(input.ConsumeRemainingBytesAsString());
    zelbrin::checkDecode(text, marker, unit, around);
    return 0;
}
