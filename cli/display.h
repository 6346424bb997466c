// How a run of zelbrin-cli shows itself: a progress bar redrawn in place on a terminal, plain
// lines elsewhere, JSON lines with --json, errors and the summary alone with --quiet.
#pragma once

#include <memory>

#include "cli/chapter_job.h"
#include "cli/chapter_list.h"
#include "cli/options.h"
#include "cli/output.h"

namespace zelbrin::cli {

class Display {
public:
    virtual ~Display() = default;

    virtual void bookFound(const Book& book, int from, int to, const Text& folder) = 0;
    virtual void chapterStarted(const ChapterJob& job, const RunTotals& totals) = 0;
    // Called often; a display draws at its own pace. `size` is 0 until known.
    virtual void chapterProgress(const ChapterJob& job, std::int64_t received, std::int64_t size,
                                 const RunTotals& totals) = 0;
    virtual void chapterRetrying(const ChapterJob& job, int nextTry, const Text& reason) = 0;
    virtual void chapterDone(const ChapterJob& job, std::int64_t size, bool alreadyComplete,
                             const RunTotals& totals) = 0;
    virtual void chapterFailed(const Failure& failure, const RunTotals& totals) = 0;
    // `stopped`: Ctrl-C ended the run; `interrupted` is the chapter it cut short, if any.
    virtual void summary(const RunTotals& totals, const Text& folder, bool stopped,
                         const ChapterJob* interrupted) = 0;
};

std::unique_ptr<Display> makeDisplay(const CliOptions& options, Output& out, Output& err);

// "1.5 MB", "300.0 KB", "12 B".
Text byteCountText(std::int64_t bytes);
// A program path as the user's system writes it ("/" between folders on Linux).
Text shownPath(const Text& path);

}  // namespace zelbrin::cli
