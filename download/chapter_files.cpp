#include "download/chapter_files.h"

#include <set>
#include <string>

#include "download/safe_name.h"

namespace zelbrin {
namespace {

// A name so long that the path leaves no room for "(n)" would be cut back to itself forever.
constexpr int kMaxCopies = 1000;

// Windows matches file names regardless of ASCII case: so must the duplicate check.
Text fileKey(const Text& path) {
    Text key = path;
    for (std::size_t i = 0; i < key.size(); ++i) {
        const auto c = static_cast<unsigned char>(key[i]);
        if (c >= 0x80) {
            ++i;  // a two-byte character's trail byte may look like a letter
        } else if (c >= 'A' && c <= 'Z') {
            key[i] = static_cast<char>(c - 'A' + 'a');
        }
    }
    return key;
}

}  // namespace

std::vector<Text> chapterFilePaths(const std::vector<Text>& chapterNames,
                                   std::string_view folderPrefix) {
    std::set<Text> taken;
    std::vector<Text> paths;
    paths.reserve(chapterNames.size());
    for (const Text& name : chapterNames) {
        const Text base = safeName(name);
        Text path = chapterFilePath(folderPrefix, base);
        for (int copy = 1; !path.empty() && taken.count(fileKey(path)) > 0; ++copy) {
            path = copy > kMaxCopies
                       ? Text()
                       : chapterFilePath(folderPrefix, base + "(" + std::to_string(copy) + ")");
        }
        if (!path.empty()) taken.insert(fileKey(path));
        paths.push_back(std::move(path));
    }
    return paths;
}

}  // namespace zelbrin
