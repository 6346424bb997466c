// What the fuzz programs share: a property check that aborts (so libFuzzer keeps the input)
// and the code page 936 facts the properties are stated in.
#pragma once

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace zelbrin::fuzz {

inline void check(bool holds, const char* property) {
    if (holds) return;
    std::fprintf(stderr, "property broken: %s\n", property);
    std::abort();
}

// A text of the program never holds a zero byte (it ends one); fuzzed bytes are made to fit.
inline std::string asText(std::string bytes) {
    std::replace(bytes.begin(), bytes.end(), '\0', '\x01');
    return bytes;
}

inline bool isGbkLead(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }
inline bool isGbkTrail(unsigned char byte) { return byte >= 0x40 && byte <= 0xFE && byte != 0x7F; }

// True when every byte of 0x80 or above is a lead byte of code page 936 followed by a trail
// byte: the text is whole characters, no lone or invalid lead byte.
inline bool isWholeGbk(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x80) continue;
        if (!isGbkLead(byte) || i + 1 >= text.size() ||
            !isGbkTrail(static_cast<unsigned char>(text[i + 1]))) {
            return false;
        }
        ++i;
    }
    return true;
}

template <typename List>
std::string joined(const List& members, std::string_view separator) {
    std::string out;
    for (std::size_t i = 0; i < members.size(); ++i) {
        if (i != 0) out += separator;
        out += members[i];
    }
    return out;
}

}  // namespace zelbrin::fuzz
