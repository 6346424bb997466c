// The command line of zelbrin-cli: what it asks for, read from the arguments after the
// program name. Texts are code page 936 like everything else inside the program.
#pragma once

#include <optional>
#include <vector>

#include "text/text.h"

namespace zelbrin::cli {

inline constexpr int kDefaultConnections = 10;
inline constexpr int kMaxConnections = 16;
inline constexpr int kDefaultRetries = 3;

struct CliOptions {
    int bookId = 0;
    Text serviceBase;  // without a trailing "/"
    Text outputFolder = ".";
    bool list = false;
    std::optional<int> from;  // 1-based, inclusive; clamped to the book later
    std::optional<int> to;
    int connections = kDefaultConnections;
    int retries = kDefaultRetries;  // tries per chapter
    std::optional<Text> proxy;
    bool number = false;
    bool json = false;
    bool quiet = false;
};

enum class Command { run, help, version, usageError };

struct ParsedCommandLine {
    Command command = Command::usageError;
    CliOptions options;
    Text error;  // for usageError: what was wrong, one line
};

// `arguments` without the program name; `defaultServiceBase` is what --service-base replaces.
ParsedCommandLine parseCommandLine(const std::vector<Text>& arguments,
                                   std::string_view defaultServiceBase);

Text usageText();

}  // namespace zelbrin::cli
