#include "small_disk.h"

namespace zelbrin {

// Windows has no tmpfs to mount: the disk rows are skipped there.
SmallDisk::SmallDisk(const std::filesystem::path& folder, const std::string&, bool)
    : folder_(folder) {}

SmallDisk::~SmallDisk() = default;

}  // namespace zelbrin
