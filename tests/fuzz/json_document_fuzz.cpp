// Fuzzes JsonDocument: any text parses or fails without a crash or an escaping exception; a
// parsed document writes JSON that parses back to the same document; the getters agree with
// typeOf on every path, fuzzed or built from the document's own members; writes through fuzzed
// paths leave a document that still writes valid JSON.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "text/json_document.h"

namespace zelbrin {
namespace {

using fuzz::check;

void checkPath(const JsonDocument& doc, const Text& path) {
    const int type = doc.typeOf(path);
    check(type >= -1 && type <= 6 && type != 3, "typeOf gives a known type code");
    const Text text = doc.getText(path);
    TextList names;
    const int keyCount = doc.keys(names, path);
    check(keyCount == static_cast<int>(names.size()), "keys returns the number it lists");
    if (path.empty()) return;  // the rules for an empty path differ between the getters

    check(doc.has(path) == (type != 0 && type != -1), "has agrees with typeOf");
    switch (type) {
        case -1:
        case 0:
            // getText and memberCount also follow a path that starts with "[", typeOf does not.
            check(doc.getNumber(path) == 0, "a missing value reads as 0");
            check(path[0] == '[' || (text.empty() && doc.memberCount(path) == 0),
                  "a missing value reads as empty and has no members");
            break;
        case 1:
            check(text == "true" || text == "false", "a boolean reads as true or false");
            break;
        case 2:
            check(text == numberToText(doc.getNumber(path)), "a number reads as numberToText");
            break;
        case 4:
        case 5:
            check(doc.memberCount(path) == keyCount, "memberCount agrees with keys");
            check(doc.getObject(path).toJson() == doc.getText(path, true),
                  "getObject copies the value at the path");
            break;
        default:
            break;
    }
    if (type >= 1) {
        JsonDocument value;
        check(value.parse(doc.getText(path, true)), "the JSON of a value parses");
    }
}

// A path into the document chosen by the input: member names and indices it really has.
Text walkPath(const JsonDocument& doc, FuzzedDataProvider& input) {
    Text path;
    for (int depth = 0; depth < 4 && input.remaining_bytes() > 0; ++depth) {
        TextList names;
        const int count = doc.keys(names, path);
        if (count == 0) break;
        const Text& name = names[input.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
        const bool array = doc.typeOf(path) == 5;
        path = array ? path + "[" + name + "]" : (path.empty() ? name : path + "." + name);
        checkPath(doc, path);
    }
    return path;
}

void checkWrites(JsonDocument& doc, FuzzedDataProvider& input, const Text& path) {
    const Text value = fuzz::asText(input.ConsumeRandomLengthString(32));
    switch (input.ConsumeIntegralInRange<int>(0, 6)) {
        case 0:
            doc.setText(path, value, input.ConsumeBool());
            break;
        case 1:
            doc.setNumber(path, input.ConsumeFloatingPoint<double>());
            break;
        case 2:
            doc.setJson(path, value);
            break;
        case 3:
            doc.append(value, path, input.ConsumeBool());
            break;
        case 4:
            doc.removeElement(path);
            break;
        case 5:
            doc.setElement(input.ConsumeIntegralInRange<int>(-2, 8), value, input.ConsumeBool());
            break;
        default:
            doc.removeElementAt(input.ConsumeIntegralInRange<int>(-3, 8));
            break;
    }
    JsonDocument again;
    const Text json = doc.toJson();
    check(again.parse(json) || json == "null", "a written document still writes valid JSON");
}

}  // namespace
}  // namespace zelbrin

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelbrin;
    FuzzedDataProvider input(data, size);
    const Text json = fuzz::asText(input.ConsumeRandomLengthString(2048));
    const Text fuzzedPath = fuzz::asText(input.ConsumeRandomLengthString(24));

    JsonDocument doc;
    const bool parsed = doc.parse(json);
    if (parsed) {
        const Text written = doc.toJson();
        JsonDocument again;
        check(again.parse(written), "a parsed document writes JSON that parses");
        check(again.toJson() == written, "parse(toJson()) gives the same document");
    }
    checkPath(doc, fuzzedPath);
    const Text walked = walkPath(doc, input);
    checkWrites(doc, input, input.ConsumeBool() ? walked : fuzzedPath);
    checkPath(doc, walked);
    return 0;
}
