#include "cli/run.h"

#include <algorithm>
#include <string>

#include "app/settings.h"
#include "app/shared_state.h"
#include "app/version.h"
#include "cli/book_download.h"
#include "cli/chapter_list.h"
#include "cli/chapter_plan.h"
#include "cli/display.h"
#include "cli/options.h"
#include "download/paths.h"
#include "download/safe_name.h"

namespace zelbrin::cli {
namespace {

// The shared service prefix, pointed at the chosen service for one run.
class ServiceBaseScope {
public:
    explicit ServiceBaseScope(const Text& base) : saved_(serviceBase) { serviceBase = base; }
    ~ServiceBaseScope() { serviceBase = saved_; }
    ServiceBaseScope(const ServiceBaseScope&) = delete;
    ServiceBaseScope& operator=(const ServiceBaseScope&) = delete;

private:
    Text saved_;
};

void printList(const Book& book, Output& out) {
    const BookInfo& info = book.info;
    out.write("book " + std::to_string(info.id) + ": " + info.name + "\n" +
              "author: " + info.author + "\n" + "narrator: " + info.narrator + "\n" +
              "chapters: " + std::to_string(info.chapterTotal) + " declared, " +
              std::to_string(book.chapters.size()) + " listed\n");
    const std::size_t width = std::to_string(book.chapters.size()).size();
    for (std::size_t k = 0; k < book.chapters.size(); ++k) {
        const Text number = std::to_string(k + 1);
        out.write(Text(width - number.size(), ' ') + number + "  " + book.chapters[k].resId + "  " +
                  book.chapters[k].name + "\n");
    }
}

// One end of the requested range, clamped to 1..count with a warning when it was outside.
int clampedEnd(const char* option, int asked, int count, Output& err, bool quiet) {
    const int clamped = std::clamp(asked, 1, count);
    if (clamped != asked && !quiet) {
        err.write(Text("warning: ") + option + " " + std::to_string(asked) +
                  " is outside the book's chapters 1.." + std::to_string(count) + "; using " +
                  std::to_string(clamped) + "\n");
    }
    return clamped;
}

class CliRun {
public:
    CliRun(const CliOptions& options, Output& out, Output& err,
           const std::atomic<bool>& stopRequested)
        : options_(options), out_(out), err_(err), stopRequested_(stopRequested) {}

    int run() {
        const ServiceBaseScope scope(options_.serviceBase);
        const Book book = fetchBook(options_.bookId);
        if (stopRequested_) return kExitStopped;
        if (book.chapters.empty() && book.info.chapterTotal == 0) {
            err_.write("book " + std::to_string(options_.bookId) + " was not found at " +
                       options_.serviceBase + "\n");
            return kExitBookNotFound;
        }
        if (static_cast<int>(book.chapters.size()) != book.info.chapterTotal && !options_.quiet) {
            err_.write("warning: the book declares " + std::to_string(book.info.chapterTotal) +
                       " chapters but the service listed " + std::to_string(book.chapters.size()) +
                       "\n");
        }
        if (options_.list) {
            printList(book, out_);
            return kExitComplete;
        }
        return download(book);
    }

private:
    int download(const Book& book) {
        const int count = static_cast<int>(book.chapters.size());
        if (count == 0) {
            err_.write("the service listed no chapters of book " + std::to_string(options_.bookId) +
                       "\n");
            return kExitSomeFailed;
        }
        const int from =
            clampedEnd("--from", options_.from.value_or(1), count, err_, options_.quiet);
        const int to = clampedEnd("--to", options_.to.value_or(count), count, err_, options_.quiet);

        const Text folder = options_.outputFolder + "\\" + safeName(book.info.name);
        if (!folderExists(folder) && ensureFolder(folder) == 0) {
            err_.write("cannot make the folder " + shownPath(folder) + "\n");
            return kExitSomeFailed;
        }
        const auto plan = planChapters(book.chapters, folder + "\\", options_.number);
        const std::vector<ChapterJob> jobs(plan.begin() + (from - 1), plan.begin() + to);

        const auto display = makeDisplay(options_, out_, err_);
        display->bookFound(book, from, to, folder);
        DownloadSettings settings;
        settings.bookId = options_.bookId;
        settings.connections = options_.connections;
        settings.tries = options_.retries;
        settings.proxy = options_.proxy;
        const DownloadRun result = downloadChapters(jobs, settings, *display, stopRequested_);
        display->summary(result.totals, folder, result.stopped,
                         result.interrupted ? &*result.interrupted : nullptr);
        if (result.stopped) return kExitStopped;
        return result.totals.failures.empty() ? kExitComplete : kExitSomeFailed;
    }

    const CliOptions& options_;
    Output& out_;
    Output& err_;
    const std::atomic<bool>& stopRequested_;
};

}  // namespace

int runCli(const std::vector<Text>& arguments, Output& out, Output& err,
           const std::atomic<bool>& stopRequested) {
    const ParsedCommandLine parsed = parseCommandLine(arguments, settings::kServiceBase);
    switch (parsed.command) {
        case Command::help:
            out.write(usageText());
            return kExitComplete;
        case Command::version:
            out.write("zelbrin-cli " ZELBRIN_VERSION_TEXT "\n");
            return kExitComplete;
        case Command::usageError:
            err.write("zelbrin-cli: " + parsed.error + "\n" + usageText());
            return kExitUsage;
        case Command::run:
            break;
    }
    return CliRun(parsed.options, out, err, stopRequested).run();
}

}  // namespace zelbrin::cli
