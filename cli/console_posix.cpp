#include <signal.h>
#include <unistd.h>

#include <cstdio>

#include "cli/console.h"
#include "text/charset.h"

namespace zelbrin::cli {
namespace {

// A lock-free atomic is what a signal handler may touch.
std::atomic<bool>* stopFlag = nullptr;

extern "C" void onStopSignal(int signalNumber) {
    if (stopFlag != nullptr) stopFlag->store(true);
    // The next one ends the process at once, for a user who does not want to wait.
    ::signal(signalNumber, SIG_DFL);
}

class FileOutput final : public Output {
public:
    explicit FileOutput(std::FILE* file) : file_(file), terminal_(::isatty(::fileno(file)) == 1) {}

    void write(std::string_view text) override {
        const Text utf8 = gbkToUtf8(text);
        std::fwrite(utf8.data(), 1, utf8.size(), file_);
        std::fflush(file_);
    }

    bool isTerminal() const override { return terminal_; }

private:
    std::FILE* file_;
    bool terminal_;
};

}  // namespace

std::vector<Text> commandLineArguments(int argc, char** argv) {
    std::vector<Text> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(utf8ToGbk(argv[i]));
    return arguments;
}

std::unique_ptr<Output> standardOutput() { return std::make_unique<FileOutput>(stdout); }
std::unique_ptr<Output> standardError() { return std::make_unique<FileOutput>(stderr); }

void installStopHandler(std::atomic<bool>& flag) {
    stopFlag = &flag;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

}  // namespace zelbrin::cli
