#include "download/paths.h"

#include <system_error>

namespace zelbrin {

bool folderExists(std::string_view path) {
    if (path.empty()) return false;
    std::error_code error;
    return std::filesystem::is_directory(nativePath(path), error);
}

int ensureFolder(std::string_view path) {
    Text withSeparator(path);
    if (!textEquals(rightText(withSeparator, 1), "\\")) withSeparator += "\\";
    // Everything before the last "\" is a folder to make; a two-byte character never ends in
    // a "\" here because the text's last byte is the separator just made sure of.
    const Text folders = withSeparator.substr(0, withSeparator.size() - 1);
    if (folders.empty()) return 0;
    std::error_code error;
    const auto native = nativePath(folders);
    std::filesystem::create_directories(native, error);
    return std::filesystem::is_directory(native, error) ? 1 : 0;
}

}  // namespace zelbrin
