// Fuzzes the cutting of the four book fields out of a book page: the page is read as the lookup
// reads it (UTF-8 bytes up to a zero byte, converted to code page 936) and each field cut with
// textBetween between the page's markers. The lookup offers no function that cuts the fields
// from a given text (it fetches the page itself), so the markers are repeated here.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "text/charset.h"
#include "text/text.h"

namespace zelbrin {
namespace {

using fuzz::check;

struct Field {
    const char* left;
    const char* right;
};

constexpr std::array<Field, 4> kFields = {{
    {"var totalCount='", "',page=0,pageSize"},
    {"<h1 class=\"nowrap\">", "<i class=\"d-status"},
    {"</span><a class=\"author\">", "</a></li>"},
    {"class=\"g-user\">", "</a>"},
}};

// Any page: a field found stands right after the first left marker and before a right one.
void checkAnyPage(const Text& page) {
    for (const Field& field : kFields) {
        const Text value = textBetween(page, field.left, field.right);
        if (value.empty()) continue;
        const int at = findText(page, field.left);
        const Text framed = Text(field.left) + value + field.right;
        check(
            at != -1 && page.compare(static_cast<std::size_t>(at - 1), framed.size(), framed) == 0,
            "a field stands between its markers");
        check(findText(value, field.right) == -1, "a field ends at the first right marker");
    }
    (void)textToInt(textBetween(page, kFields[0].left, kFields[0].right));
}

// A page built around a known value gives that value back, unless the text before it already
// holds the left marker or the value holds the right one.
void checkBuiltPage(const Text& before, const Text& value, const Text& after, int number) {
    for (const Field& field : kFields) {
        const Text left = field.left;
        const Text right = field.right;
        if (findText(before + left, left) != static_cast<int>(before.size()) + 1 ||
            findText(value + right, right) != static_cast<int>(value.size()) + 1) {
            continue;
        }
        const Text page = before + left + value + right + after;
        check(textBetween(page, left, right) == value, "the value between the markers comes back");
    }
    const Text total = textBetween(Text(kFields[0].left) + numberToText(number) + kFields[0].right,
                                   kFields[0].left, kFields[0].right);
    check(textToInt(total) == number, "the chapter total comes back as written");
}

}  // namespace
}  // namespace zelbrin

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelbrin;
    FuzzedDataProvider input(data, size);
    const int number = input.ConsumeIntegral<int>();
    const Text before = fuzz::asText(input.ConsumeRandomLengthString(64));
    const Text value = fuzz::asText(input.ConsumeRandomLengthString(64));
    const Text after = fuzz::asText(input.ConsumeRandomLengthString(64));
    const std::string body = input.ConsumeRemainingBytesAsString();
    checkBuiltPage(before, value, after, number);
    checkAnyPage(utf8ToGbk(bytesToText(Bytes(body.begin(), body.end()))));
    return 0;
}
