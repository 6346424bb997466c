#include "audio_bytes.h"

namespace zelbrin::fake_service {

namespace {

// SplitMix64's finaliser: cheap, and every input bit moves every output bit.
std::uint64_t mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

std::uint64_t fileSeed(std::int64_t bookId, std::int64_t resId, std::uint64_t size) {
    return mix(mix(mix(static_cast<std::uint64_t>(bookId)) ^ static_cast<std::uint64_t>(resId)) ^
               size);
}

}  // namespace

std::uint8_t audioByte(std::int64_t bookId, std::int64_t resId, std::uint64_t size,
                       std::uint64_t offset) {
    std::uint64_t block = mix(fileSeed(bookId, resId, size) ^ (offset / 8));
    return static_cast<std::uint8_t>(block >> (8 * (offset % 8)));
}

std::vector<std::uint8_t> audioBytes(std::int64_t bookId, std::int64_t resId, std::uint64_t size,
                                     std::uint64_t offset, std::uint64_t count) {
    std::vector<std::uint8_t> bytes;
    if (offset >= size) return bytes;
    if (count > size - offset) count = size - offset;
    bytes.reserve(static_cast<std::size_t>(count));
    std::uint64_t seed = fileSeed(bookId, resId, size);
    for (std::uint64_t at = offset; at < offset + count; ++at)
        bytes.push_back(static_cast<std::uint8_t>(mix(seed ^ (at / 8)) >> (8 * (at % 8))));
    return bytes;
}

}  // namespace zelbrin::fake_service
