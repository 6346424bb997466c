// zelbrin-cli as a function: what main() does, with the streams and the stop flag handed in so
// that tests run it in-process.
#pragma once

#include <atomic>
#include <vector>

#include "cli/output.h"
#include "text/text.h"

namespace zelbrin::cli {

inline constexpr int kExitComplete = 0;
inline constexpr int kExitSomeFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitBookNotFound = 3;
inline constexpr int kExitStopped = 130;  // as a shell reports a process ended by SIGINT

// `arguments` without the program name. Setting `stopRequested` from any thread stops the
// download in progress; the run then reports what was done and returns kExitStopped.
int runCli(const std::vector<Text>& arguments, Output& out, Output& err,
           const std::atomic<bool>& stopRequested);

}  // namespace zelbrin::cli
