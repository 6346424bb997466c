// What zelbrin-cli reports about: a chapter to download and the run's running totals.
#pragma once

#include <cstdint>
#include <vector>

#include "text/text.h"

namespace zelbrin::cli {

struct ChapterJob {
    int number = 0;  // 1-based position in the book
    Text resId;
    Text name;      // as the service names it
    Text savePath;  // the program's path of its final file
};

struct Failure {
    ChapterJob job;
    Text reason;
    int tries = 0;
};

struct RunTotals {
    int requested = 0;
    int complete = 0;  // downloaded by this run
    int alreadyComplete = 0;
    std::vector<Failure> failures;
    std::int64_t bytes = 0;  // audio bytes received by this run
    double seconds = 0;      // since the first chapter started

    int finished() const { return complete + alreadyComplete + static_cast<int>(failures.size()); }
};

}  // namespace zelbrin::cli
