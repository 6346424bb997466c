// The process's own console: its arguments, its standard streams and Ctrl-C. One file per
// platform implements it (console_posix.cpp, console_win32.cpp).
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "cli/output.h"
#include "text/text.h"

namespace zelbrin::cli {

// The arguments after the program name, as code page 936 texts.
std::vector<Text> commandLineArguments(int argc, char** argv);

// Standard output / standard error. Linux: UTF-8 bytes. Windows: a console gets the text
// through WriteConsoleW (right on any code page); a file or pipe gets UTF-8 bytes.
std::unique_ptr<Output> standardOutput();
std::unique_ptr<Output> standardError();

// From now on Ctrl-C (and, on Linux, SIGTERM) sets `flag` instead of ending the process; a
// second Ctrl-C ends it the ordinary way. `flag` must outlive the process's last signal.
void installStopHandler(std::atomic<bool>& flag);

}  // namespace zelbrin::cli
