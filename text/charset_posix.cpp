// Code-page conversion over iconv, giving the same bytes as the Win32 functions: a character
// the target code page lacks becomes its default character ("?" for code page 936), an invalid
// UTF-8 sequence becomes U+FFFD, as MultiByteToWideChar does since Windows Vista.
// https://learn.microsoft.com/windows/win32/api/stringapiset/nf-stringapiset-widechartomultibyte
#include <iconv.h>

#include <cerrno>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "text/charset.h"

namespace zelbrin {
namespace {

// Owns one iconv descriptor.
class Converter {
public:
    Converter(const std::string& to, const std::string& from)
        : handle_(iconv_open(to.c_str(), from.c_str())) {}
    ~Converter() {
        if (valid()) iconv_close(handle_);
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    bool valid() const { return handle_ != reinterpret_cast<iconv_t>(-1); }

    // Back to the initial shift state, forgetting what an earlier conversion left behind.
    void reset() {
        if (valid()) iconv(handle_, nullptr, nullptr, nullptr, nullptr);
    }

    // Converts as much of [in, in + inLeft) as it can, appending to `out`. Returns the errno
    // that stopped it, 0 when everything was converted.
    int convert(const char*& in, std::size_t& inLeft, std::string& out) {
        char buffer[4096];
        while (inLeft > 0) {
            char* next = buffer;
            std::size_t room = sizeof buffer;
            // iconv takes a non-const input pointer on some systems, never writes through it.
            char* source = const_cast<char*>(in);
            const std::size_t result = iconv(handle_, &source, &inLeft, &next, &room);
            const int error = result == static_cast<std::size_t>(-1) ? errno : 0;
            in = source;
            out.append(buffer, static_cast<std::size_t>(next - buffer));
            if (error != 0 && error != E2BIG) return error;
        }
        return 0;
    }

private:
    iconv_t handle_;
};

// Each thread keeps its descriptors: iconv_open is costly, and a descriptor must not be used
// by two threads at once. The process keeps one descriptor of each kind open for its whole
// life as well, so glibc never unloads a conversion module while another thread loads it.
Converter& converterFor(const std::string& to, const std::string& from) {
    static std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> anchors;
    static std::mutex anchorsMutex;
    thread_local std::map<std::pair<std::string, std::string>, std::unique_ptr<Converter>> own;
    auto& converter = own[{to, from}];
    if (!converter) {
        {
            std::lock_guard lock(anchorsMutex);
            auto& anchor = anchors[{to, from}];
            if (!anchor) anchor = std::make_unique<Converter>(to, from);
        }
        converter = std::make_unique<Converter>(to, from);
    }
    converter->reset();
    return *converter;
}

std::string iconvName(int codePage) {
    if (codePage == kCodePageUtf8) return "UTF-8";
    // glibc's CP936 is Microsoft's table (0x80 is the euro sign), not plain GBK.
    return "CP" + std::to_string(codePage);
}

void appendUnit(std::string& wide, unsigned unit) {
    wide += static_cast<char>(unit & 0xFF);
    wide += static_cast<char>((unit >> 8) & 0xFF);
}

unsigned unitAt(const std::string& wide, std::size_t index) {
    return static_cast<unsigned char>(wide[index]) |
           (static_cast<unsigned>(static_cast<unsigned char>(wide[index + 1])) << 8);
}

// Number of input bytes the invalid sequence at `in` spans, so the rest can go on converting.
// Code page 936 takes a lead byte with any trail byte of 0x40..0xFE as one unknown character,
// as Windows does; UTF-8 replaces the longest valid beginning of a sequence by one U+FFFD.
std::size_t invalidSpan(const char* in, std::size_t left, int codePage) {
    const auto lead = static_cast<unsigned char>(*in);
    if (codePage != kCodePageUtf8) {
        if (lead >= 0x81 && lead <= 0xFE && left >= 2) {
            const auto trail = static_cast<unsigned char>(in[1]);
            if (trail >= 0x40 && trail <= 0xFE) return 2;
        }
        return 1;
    }
    std::size_t expected = 1;
    if (lead >= 0xC2 && lead <= 0xDF) expected = 2;
    if (lead >= 0xE0 && lead <= 0xEF) expected = 3;
    if (lead >= 0xF0 && lead <= 0xF4) expected = 4;
    std::size_t span = 1;
    while (span < expected && span < left &&
           (static_cast<unsigned char>(in[span]) & 0xC0) == 0x80) {
        ++span;
    }
    return span;
}

// Windows' code page 936 gives the single byte 0xFF a private-use character; iconv knows none.
constexpr unsigned char kGbkByteFF = 0xFF;
constexpr unsigned kGbkByteFFUnit = 0xF8F5;

}  // namespace

Bytes toWide(std::string_view text, std::optional<int> codePage) {
    const int page = codePage.value_or(kCodePageUtf8);
    text = text.substr(0, text.find('\0'));
    std::string wide;
    Converter& converter = converterFor("UTF-16LE", iconvName(page));
    if (!converter.valid()) return {0, 0};
    const char* in = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        if (converter.convert(in, left, wide) == 0) break;
        // An invalid or cut-off sequence: UTF-8 gives U+FFFD, a double-byte page its
        // default character.
        const std::size_t span = invalidSpan(in, left, page);
        if (page == kCodePageGbk && static_cast<unsigned char>(*in) == kGbkByteFF) {
            appendUnit(wide, kGbkByteFFUnit);
        } else {
            appendUnit(wide, page == kCodePageUtf8 ? 0xFFFD : '?');
        }
        in += span;
        left -= span;
    }
    appendUnit(wide, 0);
    return Bytes(wide.begin(), wide.end());
}

Text fromWide(const Bytes& wide, std::optional<int> codePage) {
    const int page = codePage.value_or(kCodePageGbk);
    std::string units;
    for (std::size_t i = 0; i + 1 < wide.size(); i += 2) {
        if (wide[i] == 0 && wide[i + 1] == 0) break;
        units += static_cast<char>(wide[i]);
        units += static_cast<char>(wide[i + 1]);
    }
    Converter& converter = converterFor(iconvName(page), "UTF-16LE");
    if (!converter.valid()) return {};
    const std::string defaultChar = page == kCodePageUtf8 ? "\xEF\xBF\xBD" : "?";
    std::string out;
    const char* in = units.data();
    std::size_t left = units.size();
    while (left > 0) {
        if (converter.convert(in, left, out) == 0) break;
        // A unit the code page lacks: its default character. Windows writes one for each
        // unit, so a character beyond the BMP (an emoji) becomes two.
        const std::size_t span = 2;
        if (page == kCodePageGbk &&
            unitAt(units, static_cast<std::size_t>(in - units.data())) == kGbkByteFFUnit) {
            out += static_cast<char>(kGbkByteFF);
            in += span;
            left -= span;
            continue;
        }
        out += defaultChar;
        in += span;
        left -= span;
    }
    return out;
}

}  // namespace zelbrin
