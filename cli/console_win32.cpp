// https://learn.microsoft.com/windows/console/writeconsole
// https://learn.microsoft.com/windows/console/setconsolectrlhandler
// https://learn.microsoft.com/windows/win32/api/shellapi/nf-shellapi-commandlinetoargvw
#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "cli/console.h"
#include "text/charset.h"
#include "text/wide_text.h"

namespace zelbrin::cli {
namespace {

std::atomic<bool>* stopFlag = nullptr;

// Runs on a thread the system starts for the event. TRUE keeps the process alive: the main
// thread sees the flag, stops the download and ends on its own.
BOOL WINAPI onConsoleControl(DWORD type) {
    if ((type == CTRL_C_EVENT || type == CTRL_BREAK_EVENT) && stopFlag != nullptr &&
        !stopFlag->exchange(true)) {
        return TRUE;
    }
    return FALSE;  // a second press, or a close: the default handler ends the process
}

struct LocalFreeDeleter {
    void operator()(LPWSTR* p) const { LocalFree(p); }
};

class HandleOutput final : public Output {
public:
    explicit HandleOutput(DWORD which) : handle_(GetStdHandle(which)) {
        DWORD mode = 0;
        console_ = handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE &&
                   GetConsoleMode(handle_, &mode) != 0;
    }

    void write(std::string_view text) override {
        if (handle_ == nullptr || handle_ == INVALID_HANDLE_VALUE || text.empty()) return;
        DWORD written = 0;
        if (console_) {
            // UTF-16 code units with a terminating zero unit.
            const Bytes wide = toWide(text, kCodePageGbk);
            const DWORD units = static_cast<DWORD>(wide.size() / 2) - 1;
            WriteConsoleW(handle_, wide.data(), units, &written, nullptr);
        } else {
            const Text utf8 = gbkToUtf8(text);
            WriteFile(handle_, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
        }
    }

    bool isTerminal() const override { return console_; }

private:
    HANDLE handle_;  // the process's own standard handle: not ours to close
    bool console_ = false;
};

}  // namespace

std::vector<Text> commandLineArguments(int, char**) {
    // The narrow argv holds the ANSI code page's idea of the arguments; the wide command line
    // holds what was typed.
    int count = 0;
    std::unique_ptr<LPWSTR, LocalFreeDeleter> list(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<Text> arguments;
    for (int i = 1; list && i < count; ++i) arguments.push_back(narrow(list.get()[i]));
    return arguments;
}

std::unique_ptr<Output> standardOutput() {
    return std::make_unique<HandleOutput>(STD_OUTPUT_HANDLE);
}
std::unique_ptr<Output> standardError() { return std::make_unique<HandleOutput>(STD_ERROR_HANDLE); }

void installStopHandler(std::atomic<bool>& flag) {
    stopFlag = &flag;
    SetConsoleCtrlHandler(onConsoleControl, TRUE);
}

}  // namespace zelbrin::cli
