// A small file system of its own for the disk rows: a tmpfs mounted over a folder. Only root on
// Linux can mount one; elsewhere mountSmallDisk says no and the row is skipped.
#pragma once

#include <filesystem>
#include <string>

namespace zelbrin {

class SmallDisk {
public:
    // Mounts a tmpfs of `size` (mount's syntax, e.g. "1m") over `folder`, read-only when asked.
    SmallDisk(const std::filesystem::path& folder, const std::string& size, bool readOnly = false);
    ~SmallDisk();  // unmounts
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }

private:
    std::filesystem::path folder_;
    bool mounted_ = false;
};

}  // namespace zelbrin
