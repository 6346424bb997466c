#include "download/safe_name.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace zelbrin {
namespace {

constexpr unsigned char kFullWidthSpaceLead = 0xA1;

bool isLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
bool isTrailByte(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

bool isForbiddenByte(unsigned char byte) {
    constexpr std::string_view kForbidden = "\\/:*?\"<>|";
    return byte < 0x20 || byte == 0x7F || kForbidden.find(static_cast<char>(byte)) !=
                                              std::string_view::npos;
}

// Walks the name character by character so that a trail byte equal to "\" or "|" (both occur
// in code page 936) is never mistaken for a separator. A byte that cannot start a character
// of code page 936 (a lone lead byte, 0x80, 0xFF) becomes "_" too: no file system would show it.
Text replaceForbidden(std::string_view name) {
    Text out;
    out.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            out += isForbiddenByte(byte) ? '_' : name[i];
        } else if (isLeadByte(byte) && i + 1 < name.size() &&
                   isTrailByte(static_cast<unsigned char>(name[i + 1]))) {
            out += name.substr(i, 2);
            ++i;
        } else {
            out += '_';
        }
    }
    return out;
}

// Length of the space or dot that ends `text` (1, or 2 for the full-width space), else 0.
// Only called on text made of whole characters, so a trailing A1 A1 is a full-width space.
size_t trailingBlank(std::string_view text) {
    if (text.empty()) return 0;
    if (text.back() == ' ' || text.back() == '.') return 1;
    if (text.size() >= 2 && static_cast<unsigned char>(text.back()) == kFullWidthSpaceLead &&
        static_cast<unsigned char>(text[text.size() - 2]) == kFullWidthSpaceLead) {
        // Make sure the A1 A1 is a character of its own and not the end of "xx A1" + "A1".
        size_t i = 0;
        while (i + 2 < text.size()) i += static_cast<unsigned char>(text[i]) >= 0x80 ? 2 : 1;
        return i == text.size() - 2 ? 2 : 0;
    }
    return 0;
}

size_t leadingBlank(std::string_view text) {
    if (text.empty()) return 0;
    if (text.front() == ' ' || text.front() == '.') return 1;
    if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == kFullWidthSpaceLead &&
        static_cast<unsigned char>(text[1]) == kFullWidthSpaceLead) {
        return 2;
    }
    return 0;
}

Text trimBlanks(std::string_view text) {
    while (size_t n = leadingBlank(text)) text.remove_prefix(n);
    while (size_t n = trailingBlank(text)) text.remove_suffix(n);
    return Text(text);
}

bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Windows opens the device instead of a file for these names, with or without an extension.
bool isReservedDeviceName(std::string_view name) {
    std::string_view base = name.substr(0, name.find('.'));
    while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
    static constexpr std::array<std::string_view, 6> kFixed = {"CON",  "PRN",    "AUX",
                                                                "NUL",  "CONIN$", "CONOUT$"};
    for (auto reserved : kFixed) {
        if (equalsIgnoringAsciiCase(base, reserved)) return true;
    }
    if (base.size() == 4 && std::isdigit(static_cast<unsigned char>(base[3]))) {
        auto stem = base.substr(0, 3);
        return equalsIgnoringAsciiCase(stem, "COM") || equalsIgnoringAsciiCase(stem, "LPT");
    }
    return false;
}

// The longest prefix of `text` of at most `limit` bytes that ends on a character boundary.
std::string_view cutToBytes(std::string_view text, size_t limit) {
    size_t end = 0;
    while (end < text.size()) {
        size_t width = static_cast<unsigned char>(text[end]) >= 0x80 ? 2 : 1;
        if (end + width > limit) break;
        end += width;
    }
    return text.substr(0, end);
}

// Shortening can leave a space or a dot at the end; trimming can make a name reserved or empty.
Text finish(std::string_view candidate) {
    Text name = trimBlanks(candidate);
    if (isReservedDeviceName(name)) name = "_" + name;
    if (name.empty()) name = "未命名";
    return name;
}

}  // namespace

Text safeName(std::string_view name) {
    Text safe = finish(replaceForbidden(name));
    while (safe.size() > static_cast<size_t>(kMaxNameBytes)) {
        safe = finish(cutToBytes(safe, kMaxNameBytes));
    }
    return safe;
}

Text chapterFilePath(std::string_view folderPrefix, std::string_view chapterName,
                     std::string_view extension) {
    const long room = static_cast<long>(std::min(kMaxPathBytes, kMaxNameBytes + static_cast<int>(
                                                                    folderPrefix.size()))) -
                      static_cast<long>(folderPrefix.size() + extension.size());
    if (room < 2) return {};
    Text stem = safeName(chapterName);
    // Cutting can leave a device name that then gets a "_" in front, one byte more than the
    // room: cut one byte shorter each time until the finished name fits.
    for (size_t limit = static_cast<size_t>(room); stem.size() > static_cast<size_t>(room);
         --limit) {
        if (limit == 0) return {};
        stem = finish(cutToBytes(stem, limit));
    }
    return Text(folderPrefix) + stem + Text(extension);
}

}  // namespace zelbrin
