// zelbrin-cli: downloads one audiobook from a terminal. Everything happens in runCli; this
// connects it to the process's console.
#include <atomic>

#include "cli/console.h"
#include "cli/run.h"

int main(int argc, char** argv) {
    using namespace zelbrin::cli;
    // Static: the signal handler may still look at it while the process winds down.
    static std::atomic<bool> stopRequested{false};
    installStopHandler(stopRequested);
    const auto out = standardOutput();
    const auto err = standardError();
    return runCli(commandLineArguments(argc, argv), *out, *err, stopRequested);
}
