#include "cli/chapter_plan.h"

#include <algorithm>
#include <string>

#include "download/chapter_files.h"
#include "download/safe_name.h"

namespace zelbrin::cli {
namespace {

Text numberPrefix(int number, int width) {
    Text digits = std::to_string(number);
    return Text(static_cast<std::size_t>(width) - std::min(digits.size(), std::size_t(width)),
                '0') +
           digits + " ";
}

}  // namespace

std::vector<ChapterJob> planChapters(const std::vector<ChapterEntry>& chapters,
                                     const Text& folderPrefix, bool numbered) {
    const int width = static_cast<int>(std::to_string(chapters.size()).size());
    std::vector<Text> names;
    for (std::size_t k = 0; k < chapters.size(); ++k) {
        const int number = static_cast<int>(k) + 1;
        // The number goes in front of the safe name, so it is never cut away or made "_".
        names.push_back((numbered ? numberPrefix(number, width) : Text()) +
                        safeName(chapters[k].name));
    }
    const std::vector<Text> paths = chapterFilePaths(names, folderPrefix);
    std::vector<ChapterJob> jobs;
    for (std::size_t k = 0; k < chapters.size(); ++k) {
        ChapterJob job;
        job.number = static_cast<int>(k) + 1;
        job.resId = chapters[k].resId;
        job.name = chapters[k].name;
        job.savePath = paths[k];
        jobs.push_back(std::move(job));
    }
    return jobs;
}

}  // namespace zelbrin::cli
