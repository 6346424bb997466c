#include "cli/chapter_plan.h"

#include <algorithm>
#include <set>
#include <string>

#include "download/safe_name.h"

namespace zelbrin::cli {
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

Text numberPrefix(int number, int width) {
    Text digits = std::to_string(number);
    return Text(static_cast<std::size_t>(width) - std::min(digits.size(), std::size_t(width)), '0') +
           digits + " ";
}

}  // namespace

std::vector<ChapterJob> planChapters(const std::vector<ChapterEntry>& chapters,
                                     const Text& folderPrefix, bool numbered) {
    const int width = static_cast<int>(std::to_string(chapters.size()).size());
    std::set<Text> taken;
    std::vector<ChapterJob> jobs;
    for (std::size_t k = 0; k < chapters.size(); ++k) {
        ChapterJob job;
        job.number = static_cast<int>(k) + 1;
        job.resId = chapters[k].resId;
        job.name = chapters[k].name;
        const Text base =
            (numbered ? numberPrefix(job.number, width) : Text()) + safeName(chapters[k].name);
        job.savePath = chapterFilePath(folderPrefix, base);
        for (int copy = 1; !job.savePath.empty() && taken.count(fileKey(job.savePath)) > 0;
             ++copy) {
            job.savePath = copy > kMaxCopies ? Text()
                                             : chapterFilePath(folderPrefix, base + "(" +
                                                                   std::to_string(copy) + ")");
        }
        if (!job.savePath.empty()) taken.insert(fileKey(job.savePath));
        jobs.push_back(std::move(job));
    }
    return jobs;
}

}  // namespace zelbrin::cli
