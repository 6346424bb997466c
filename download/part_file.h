// The file a transfer fills in place: created at its full size, written at given offsets from
// several threads at once (pwrite / WriteFile with an OVERLAPPED offset), never read back.
// Paths are the program's code page 936 texts; see nativePath.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

class PartFile {
public:
    PartFile() = default;
    ~PartFile();
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;

    // Creates (or empties) the file and gives it `size` bytes of zeros.
    bool create(const std::filesystem::path& path, std::int64_t size);
    // Thread-safe: each call writes its bytes at its own offset.
    bool writeAt(std::int64_t offset, const std::uint8_t* data, std::size_t size);
    // The size on disk, -1 when unknown.
    std::int64_t size() const;
    void close();
    bool isOpen() const { return handle_ != kNoHandle; }

private:
    static constexpr std::intptr_t kNoHandle = -1;
    std::intptr_t handle_ = kNoHandle;  // a file descriptor or a HANDLE
};

// The engine's own path for a program path. On Windows a path too long for MAX_PATH gets the
// "\\?\" prefix, so long paths work instead of failing.
std::filesystem::path enginePath(std::string_view path);

}  // namespace zelbrin
