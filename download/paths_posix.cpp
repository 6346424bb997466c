#include <unistd.h>

#include <climits>

#include "download/paths.h"
#include "text/charset.h"

namespace zelbrin {
namespace {

// "\" becomes "/", walking characters so that a two-byte character whose trail byte is 0x5C
// stays whole.
Text withSlashes(std::string_view path) {
    Text out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size(); ++i) {
        if (static_cast<unsigned char>(path[i]) >= 0x80 && i + 1 < path.size()) {
            out += path.substr(i, 2);
            ++i;
        } else {
            out += path[i] == '\\' ? '/' : path[i];
        }
    }
    return out;
}

}  // namespace

std::filesystem::path nativePath(std::string_view path) {
    return std::filesystem::path(gbkToUtf8(withSlashes(path)));
}

Text runDirectory() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer);
    if (length <= 0) return {};
    const Text exe = utf8ToGbk(std::string_view(buffer, static_cast<size_t>(length)));
    return exe.substr(0, exe.rfind('/'));
}

}  // namespace zelbrin
