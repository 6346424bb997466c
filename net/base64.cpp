#include "net/base64.h"

namespace zelbrin {

Text base64Encode(const Bytes& bytes) {
    static constexpr char kAlphabet[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    if (bytes.empty()) return {};
    Bytes padded = bytes;
    const std::size_t tail = bytes.size() % 3;
    if (tail != 0) padded.resize(bytes.size() + 3 - tail, 0);
    Text out;
    out.reserve(padded.size() / 3 * 4);
    for (std::size_t i = 0; i < padded.size(); i += 3) {
        const unsigned b0 = padded[i];
        const unsigned b1 = padded[i + 1];
        const unsigned b2 = padded[i + 2];
        out += kAlphabet[b0 >> 2];
        out += kAlphabet[((b0 & 3) << 4) + (b1 >> 4)];
        out += kAlphabet[((b1 & 15) << 2) + (b2 >> 6)];
        out += kAlphabet[b2 & 63];
    }
    // The zero bytes added above must not show: "=" stands for each of them.
    if (tail == 1) out.replace(out.size() - 2, 2, "==");
    if (tail == 2) out.back() = '=';
    return out;
}

}  // namespace zelbrin
