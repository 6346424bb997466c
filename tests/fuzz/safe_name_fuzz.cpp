// Fuzzes the file names made from what the service sends. Whatever the name, safeName gives one
// valid name component on Windows and on Linux, never a device name, is idempotent and keeps a
// name that is already safe; chapterFilePath stays within the path limit and keeps the folder
// and the extension.
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdint>

#include "download/safe_name.h"
#include "tests/fuzz/fuzz_support.h"
#include "text/charset.h"

namespace zelbrin {
namespace {

using fuzz::check;

bool isForbiddenCharacter(unsigned char c) {
    return c < 0x20 || c == 0x7F || Text("\\/:*?\"<>|").find(static_cast<char>(c)) != Text::npos;
}

Text upper(std::string_view text) {
    Text out(text);
    for (char& c : out) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

// Windows opens a device for these, alone or with an extension, whatever the case; spaces
// before the extension do not help.
bool isDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    const Text stem = upper(base);
    static const std::array<Text, 6> kFixed = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
    for (const Text& device : kFixed) {
        if (stem == device) return true;
    }
    return stem.size() == 4 && (stem.starts_with("COM") || stem.starts_with("LPT")) &&
           stem[3] >= '0' && stem[3] <= '9';
}

bool isBlank(std::string_view text, bool atEnd) {
    if (text.empty()) return false;
    const char c = atEnd ? text.back() : text.front();
    if (c == ' ' || c == '.') return true;
    if (text.size() < 2) return false;
    return (atEnd ? text.substr(text.size() - 2) : text.substr(0, 2)) == "\xA1\xA1";
}

// One name component that Windows (code page 936) and Linux (UTF-8, 255 bytes) both accept and
// that names a file rather than a device.
bool isSafe(std::string_view name) {
    if (name.empty() || name.size() > static_cast<std::size_t>(kMaxNameBytes)) return false;
    if (!fuzz::isWholeGbk(name) || isDeviceName(name)) return false;
    if (isBlank(name, false) || isBlank(name, true)) return false;  // also excludes "." and ".."
    for (std::size_t i = 0; i < name.size(); ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80) {
            ++i;  // a trail byte may be "\" or "|" and still be half of a character
        } else if (isForbiddenCharacter(c)) {
            return false;
        }
    }
    const Text utf8 = gbkToUtf8(name);
    return utf8.size() <= 255 && utf8.find('/') == Text::npos && !utf8.empty();
}

void checkSafeName(const Text& name) {
    const Text safe = safeName(name);
    check(isSafe(safe), "safeName gives one valid, non-device name component");
    check(safe != "." && safe != "..", "never . or ..");
    check(safeName(safe) == safe, "safeName is idempotent");
    if (isSafe(name)) check(safe == name, "a safe name stays as it is");
}

void checkChapterPath(const Text& prefix, const Text& name, const Text& extension) {
    const Text path = chapterFilePath(prefix, name, extension);
    if (path.empty()) {
        check(prefix.size() + extension.size() + 6 > static_cast<std::size_t>(kMaxPathBytes),
              "a path is made whenever six bytes of name fit");
        return;
    }
    check(path.size() <= static_cast<std::size_t>(kMaxPathBytes), "the path fits the limit");
    check(path.starts_with(prefix) && path.ends_with(extension),
          "the path keeps the folder and the extension");
    const Text stem = path.substr(prefix.size(), path.size() - prefix.size() - extension.size());
    check(isSafe(stem) && safeName(stem) == stem, "the file name is a safe name");
    if (extension == ".mp3") check(isSafe(stem + extension), "so is the name with its extension");
    const Text whole = safeName(name);
    // The name with its extension is one component, so it keeps to the component limit too.
    if (prefix.size() + whole.size() + extension.size() <=
            static_cast<std::size_t>(kMaxPathBytes) &&
        whole.size() + extension.size() <= static_cast<std::size_t>(kMaxNameBytes)) {
        check(stem == whole, "a name that fits is not shortened");
    }
}

}  // namespace
}  // namespace zelbrin

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace zelbrin;
    FuzzedDataProvider input(data, size);
    const bool ownExtension = input.ConsumeBool();
    const Text prefix = fuzz::asText(input.ConsumeRandomLengthString(280));
    const Text extension = ownExtension ? fuzz::asText(input.ConsumeRandomLengthString(8)) : ".mp3";
    const Text name = fuzz::asText(input.ConsumeRemainingBytesAsString());
    checkSafeName(name);
    checkChapterPath(prefix, name, extension);
    return 0;
}
