// The command line of zelbrin-cli, read as a table of argument lists.
#include "cli/options.h"

#include <gtest/gtest.h>

namespace zelbrin::cli {
namespace {

constexpr const char* kDefaultBase = "http://service.example";

TEST(CliOptions, ReadsEveryOptionInBothSpellings) {
    const auto parsed = parseCommandLine(
        {"--service-base", "http://127.0.0.1:9/", "-o", "书库", "--list", "--from", "3", "--to=7",
         "-c", "16", "--retries=5", "--proxy", "proxy:3128", "--number", "--json", "-q", "42"},
        kDefaultBase);
    ASSERT_EQ(parsed.command, Command::run) << parsed.error;
    const CliOptions& o = parsed.options;
    EXPECT_EQ(o.bookId, 42);
    EXPECT_EQ(o.serviceBase, "http://127.0.0.1:9");
    EXPECT_EQ(o.outputFolder, "书库");
    EXPECT_TRUE(o.list && o.number && o.json && o.quiet);
    EXPECT_EQ(o.from, 3);
    EXPECT_EQ(o.to, 7);
    EXPECT_EQ(o.connections, 16);
    EXPECT_EQ(o.retries, 5);
    EXPECT_EQ(o.proxy, Text("proxy:3128"));
}

TEST(CliOptions, DefaultsWithTheBookIdAlone) {
    const auto parsed = parseCommandLine({"7"}, kDefaultBase);
    ASSERT_EQ(parsed.command, Command::run);
    const CliOptions& o = parsed.options;
    EXPECT_EQ(o.bookId, 7);
    EXPECT_EQ(o.serviceBase, kDefaultBase);
    EXPECT_EQ(o.outputFolder, ".");
    EXPECT_FALSE(o.list || o.number || o.json || o.quiet || o.from || o.to || o.proxy);
    EXPECT_EQ(o.connections, 10);
    EXPECT_EQ(o.retries, 3);
}

TEST(CliOptions, CommandsAndUsageErrors) {
    static const struct {
        std::vector<Text> arguments;
        Command command;
        const char* errorPart;  // a piece of the one-line error
    } cases[] = {
        {{"-h"}, Command::help, ""},
        {{"--help", "--bogus"}, Command::help, ""},
        {{"7", "--version"}, Command::version, ""},
        {{}, Command::usageError, "BOOK_ID is missing"},
        {{"--list"}, Command::usageError, "BOOK_ID is missing"},
        {{"7", "8"}, Command::usageError, "one BOOK_ID"},
        {{"abc"}, Command::usageError, "positive number"},
        {{"0"}, Command::usageError, "positive number"},
        {{"12x"}, Command::usageError, "positive number"},
        {{"7", "--bogus"}, Command::usageError, "unknown option --bogus"},
        {{"7", "-c", "0"}, Command::usageError, "from 1 to 16"},
        {{"7", "-c", "17"}, Command::usageError, "-c"},
        {{"7", "--connections=ten"}, Command::usageError, "--connections"},
        {{"7", "--retries", "0"}, Command::usageError, "--retries"},
        {{"7", "--from"}, Command::usageError, "--from needs a value"},
        {{"7", "--from", "5", "--to", "3"}, Command::usageError, "after --to"},
        {{"7", "--service-base", "ftp://x"}, Command::usageError, "--service-base"},
        {{"7", "--service-base", "http://"}, Command::usageError, "--service-base"},
        {{"7", "--proxy="}, Command::usageError, "--proxy"},
        {{"7", "-o", ""}, Command::usageError, "folder"},
        {{"7", "--list=yes"}, Command::usageError, "takes no value"},
        // Range ends outside the book are clamped later, against the book's real length.
        {{"7", "--from", "-4", "--to", "99999"}, Command::run, ""},
        {{"--", "7"}, Command::run, ""},
    };
    for (const auto& c : cases) {
        Text joined;
        for (const auto& a : c.arguments) joined += "[" + a + "]";
        SCOPED_TRACE(joined);
        const auto parsed = parseCommandLine(c.arguments, kDefaultBase);
        EXPECT_EQ(parsed.command, c.command) << parsed.error;
        EXPECT_NE(parsed.error.find(c.errorPart), Text::npos) << parsed.error;
    }
}

}  // namespace
}  // namespace zelbrin::cli
