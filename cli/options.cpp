#include "cli/options.h"

#include <charconv>
#include <cstdint>
#include <string>

namespace zelbrin::cli {
namespace {

// A whole decimal integer and nothing else: "12x", "", "+3" and overflow are refused.
std::optional<int> wholeNumber(std::string_view text) {
    int value = 0;
    const char* end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc{} || stop != end) return std::nullopt;
    return value;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

class Reader {
public:
    Reader(const std::vector<Text>& arguments, std::string_view defaultServiceBase)
        : arguments_(arguments) {
        result_.command = Command::run;
        result_.options.serviceBase = Text(defaultServiceBase);
    }

    ParsedCommandLine read() {
        bool optionsEnded = false;
        for (index_ = 0; index_ < arguments_.size() && result_.command == Command::run; ++index_) {
            const Text& argument = arguments_[index_];
            if (!optionsEnded && argument == "--") {
                optionsEnded = true;
            } else if (!optionsEnded && argument.size() > 1 && argument[0] == '-') {
                readOption(argument);
            } else {
                readBookId(argument);
            }
        }
        if (result_.command == Command::run) checkTogether();
        return result_;
    }

private:
    void fail(Text error) {
        if (result_.command != Command::run) return;
        result_.command = Command::usageError;
        result_.error = std::move(error);
    }

    // The value of an option given as "--name=value" or as the next argument.
    std::optional<Text> value(const Text& name, const std::optional<Text>& attached) {
        if (attached) return attached;
        if (index_ + 1 < arguments_.size()) return arguments_[++index_];
        fail(name + " needs a value");
        return std::nullopt;
    }

    std::optional<int> number(const Text& name, const std::optional<Text>& attached, int low,
                              int high) {
        const auto text = value(name, attached);
        if (!text) return std::nullopt;
        const auto parsed = wholeNumber(*text);
        if (!parsed || *parsed < low || *parsed > high) {
            fail(name + " takes a whole number from " + std::to_string(low) +
                 (high == INT32_MAX ? " up" : " to " + std::to_string(high)) + ", not \"" + *text +
                 "\"");
            return std::nullopt;
        }
        return parsed;
    }

    void readOption(const Text& argument) {
        Text name = argument;
        std::optional<Text> attached;
        if (startsWith(argument, "--")) {
            const auto equals = argument.find('=');
            if (equals != Text::npos) {
                name = argument.substr(0, equals);
                attached = argument.substr(equals + 1);
            }
        }
        CliOptions& o = result_.options;
        const bool takesValue = name == "--service-base" || name == "-o" || name == "--output" ||
                                name == "--from" || name == "--to" || name == "-c" ||
                                name == "--connections" || name == "--retries" || name == "--proxy";
        if (attached && !takesValue) return fail(name + " takes no value");

        if (name == "-h" || name == "--help") {
            result_.command = Command::help;
        } else if (name == "--version") {
            result_.command = Command::version;
        } else if (name == "--list") {
            o.list = true;
        } else if (name == "--number") {
            o.number = true;
        } else if (name == "--json") {
            o.json = true;
        } else if (name == "-q" || name == "--quiet") {
            o.quiet = true;
        } else if (name == "--service-base") {
            if (const auto base = value(name, attached)) readServiceBase(*base);
        } else if (name == "-o" || name == "--output") {
            const auto folder = value(name, attached);
            if (folder && folder->empty()) return fail(name + " needs a folder");
            if (folder) o.outputFolder = *folder;
        } else if (name == "--from") {
            if (const auto n = number(name, attached, INT32_MIN, INT32_MAX)) o.from = n;
        } else if (name == "--to") {
            if (const auto n = number(name, attached, INT32_MIN, INT32_MAX)) o.to = n;
        } else if (name == "-c" || name == "--connections") {
            if (const auto n = number(name, attached, 1, kMaxConnections)) o.connections = *n;
        } else if (name == "--retries") {
            if (const auto n = number(name, attached, 1, 100)) o.retries = *n;
        } else if (name == "--proxy") {
            const auto proxy = value(name, attached);
            if (proxy && proxy->empty()) return fail("--proxy needs HOST[:PORT]");
            if (proxy) o.proxy = *proxy;
        } else {
            fail("unknown option " + argument);
        }
    }

    void readServiceBase(Text base) {
        while (!base.empty() && base.back() == '/') base.pop_back();
        const auto schemeEnd = base.find("://");
        const Text scheme = schemeEnd == Text::npos ? Text() : base.substr(0, schemeEnd);
        if ((scheme != "http" && scheme != "https") || base.size() == schemeEnd + 3) {
            return fail("--service-base takes an http:// or https:// address, not \"" + base +
                        "\"");
        }
        result_.options.serviceBase = base;
    }

    void readBookId(const Text& argument) {
        if (sawBookId_) return fail("one BOOK_ID only (also got \"" + argument + "\")");
        const auto id = wholeNumber(argument);
        if (!id || *id <= 0) return fail("BOOK_ID is a positive number, not \"" + argument + "\"");
        sawBookId_ = true;
        result_.options.bookId = *id;
    }

    void checkTogether() {
        const CliOptions& o = result_.options;
        if (!sawBookId_) return fail("BOOK_ID is missing");
        if (o.from && o.to && *o.from > *o.to) {
            fail("--from " + std::to_string(*o.from) + " is after --to " + std::to_string(*o.to));
        }
    }

    const std::vector<Text>& arguments_;
    std::size_t index_ = 0;
    bool sawBookId_ = false;
    ParsedCommandLine result_;
};

}  // namespace

ParsedCommandLine parseCommandLine(const std::vector<Text>& arguments,
                                   std::string_view defaultServiceBase) {
    return Reader(arguments, defaultServiceBase).read();
}

Text usageText() {
    return "usage: zelbrin-cli [options] BOOK_ID\n"
           "Downloads every chapter of one audiobook, one file per chapter, into a folder named\n"
           "after the book. Chapters saved completely by an earlier run are skipped.\n"
           "\n"
           "  --service-base URL   the service prefix (default: the same as zelbrin.exe)\n"
           "  -o, --output DIR     where the book folder is made (default: the current folder)\n"
           "  --list               print the book and its chapters; download nothing\n"
           "  --from N, --to M     1-based chapter numbers, inclusive; clamped to the book\n"
           "  -c, --connections N  connections per chapter, 1..16 (default 10)\n"
           "  --retries N          tries per chapter (default 3)\n"
           "  --proxy HOST[:PORT]  an HTTP proxy for the audio downloads\n"
           "  --number             prefix each file with its book-order number: \"007 name.mp3\"\n"
           "  --json               one JSON object per line per event instead of progress bars\n"
           "  -q, --quiet          only errors and the summary\n"
           "  --version            print the version\n"
           "  -h, --help           print this help\n"
           "\n"
           "Exit status: 0 every requested chapter complete, 1 some failed, 2 a usage error,\n"
           "3 the book was not found, 130 stopped by Ctrl-C.\n";
}

}  // namespace zelbrin::cli
