// The content of every fake audio file, a pure function of (book id, resource id, size), so a
// test can recompute any byte of a download without asking the service.
#pragma once

#include <cstdint>
#include <vector>

namespace zelbrin::fake_service {

std::uint8_t audioByte(std::int64_t bookId, std::int64_t resId, std::uint64_t size,
                       std::uint64_t offset);
// `count` bytes from `offset` (clipped to the file's end); the whole file by default.
std::vector<std::uint8_t> audioBytes(std::int64_t bookId, std::int64_t resId, std::uint64_t size,
                                     std::uint64_t offset = 0, std::uint64_t count = UINT64_MAX);

}  // namespace zelbrin::fake_service
