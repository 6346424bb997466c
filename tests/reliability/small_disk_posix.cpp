#include <sys/mount.h>
#include <unistd.h>

#include "small_disk.h"

namespace zelbrin {

SmallDisk::SmallDisk(const std::filesystem::path& folder, const std::string& size, bool readOnly)
    : folder_(folder) {
    if (::geteuid() != 0) return;
    std::filesystem::create_directories(folder);
    const std::string options = "size=" + size;
    mounted_ =
        ::mount("tmpfs", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
}

}  // namespace zelbrin
