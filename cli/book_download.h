// Downloading a book's chapters one after another with the program's download engine.
#pragma once

#include <atomic>
#include <optional>
#include <vector>

#include "cli/chapter_job.h"
#include "cli/display.h"

namespace zelbrin::cli {

struct DownloadSettings {
    int bookId = 0;
    int connections = kDefaultConnections;
    int tries = kDefaultRetries;
    std::optional<Text> proxy;
};

struct DownloadRun {
    RunTotals totals;
    bool stopped = false;
    std::optional<ChapterJob> interrupted;  // the chapter a stop cut short
};

// Downloads `jobs` in order, each as soon as the one before has ended. A chapter whose file
// already holds the service's size is skipped as already complete. Once `stopRequested` is set
// the running chapter is stopped (its partial file goes with it) and nothing else starts.
DownloadRun downloadChapters(const std::vector<ChapterJob>& jobs, const DownloadSettings& settings,
                             Display& display, const std::atomic<bool>& stopRequested);

}  // namespace zelbrin::cli
