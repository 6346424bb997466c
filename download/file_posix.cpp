#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "download/part_file.h"
#include "download/paths.h"

namespace zelbrin {

PartFile::~PartFile() { close(); }

bool PartFile::create(const std::filesystem::path& path, std::int64_t size) {
    close();
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    handle_ = fd;
    if (::ftruncate(fd, static_cast<off_t>(size)) != 0) {
        close();
        return false;
    }
    return true;
}

bool PartFile::writeAt(std::int64_t offset, const std::uint8_t* data, std::size_t size) {
    int fd = static_cast<int>(handle_);
    while (size > 0) {
        ssize_t done = ::pwrite(fd, data, size, static_cast<off_t>(offset));
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        data += done;
        size -= static_cast<std::size_t>(done);
        offset += done;
    }
    return true;
}

std::int64_t PartFile::size() const {
    struct stat info {};
    if (handle_ == kNoHandle || ::fstat(static_cast<int>(handle_), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

void PartFile::close() {
    if (handle_ != kNoHandle) ::close(static_cast<int>(handle_));
    handle_ = kNoHandle;
}

std::filesystem::path enginePath(std::string_view path) { return nativePath(path); }

}  // namespace zelbrin
