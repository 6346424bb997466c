#include "cli/display.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>  // std::chrono: <chrono> itself does not compile for GBK literals
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string>

#include "download/paths.h"
#include "text/charset.h"

namespace zelbrin::cli {
namespace {

using Clock = std::chrono::steady_clock;

Text format(const char* pattern, double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, pattern, value);
    return buffer;
}

// Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) about "literal" + temporary.
Text chapterLabel(const ChapterJob& job) {
    Text label = "[";
    label += std::to_string(job.number);
    label += "] ";
    label += job.name;
    return label;
}

Text failedListText(const RunTotals& totals) {
    Text text;
    for (const Failure& failure : totals.failures) {
        text += "  " + chapterLabel(failure.job) + ": " + failure.reason + " (" +
                std::to_string(failure.tries) + (failure.tries == 1 ? " try" : " tries") + ")\n";
    }
    return text;
}

Text summaryText(const RunTotals& totals, const Text& folder, bool stopped,
                 const ChapterJob* interrupted) {
    const int done = totals.complete + totals.alreadyComplete;
    Text text;
    if (stopped) {
        text += "stopped";
        if (interrupted != nullptr) {
            text += " during " + chapterLabel(*interrupted) +
                    " (nothing of it kept; the next run starts it again)";
        }
        text += "\n";
    }
    text += std::to_string(done) + " of " + std::to_string(totals.requested) + " chapters complete";
    if (totals.alreadyComplete > 0) {
        text += " (" + std::to_string(totals.alreadyComplete) + " already complete)";
    }
    text += ", " + byteCountText(totals.bytes) + " downloaded, in " + shownPath(folder) + "\n";
    if (!totals.failures.empty()) {
        text += std::to_string(totals.failures.size()) + " failed:\n" + failedListText(totals);
    }
    if (stopped && done + static_cast<int>(totals.failures.size()) < totals.requested) {
        text += "run the same command again to finish the book\n";
    }
    return text;
}

// Errors and the summary only: --quiet, and the base of the plain display.
class QuietDisplay : public Display {
public:
    QuietDisplay(Output& out, Output& err) : out_(out), err_(err) {}

    void bookFound(const Book&, int, int, const Text&) override {}
    void chapterStarted(const ChapterJob&, const RunTotals&) override {}
    void chapterProgress(const ChapterJob&, std::int64_t, std::int64_t, const RunTotals&) override {
    }
    void chapterRetrying(const ChapterJob&, int, const Text&) override {}
    void chapterDone(const ChapterJob&, std::int64_t, bool, const RunTotals&) override {}
    void chapterFailed(const Failure& failure, const RunTotals&) override {
        err_.write("failed " + chapterLabel(failure.job) + ": " + failure.reason + "\n");
    }
    void summary(const RunTotals& totals, const Text& folder, bool stopped,
                 const ChapterJob* interrupted) override {
        out_.write(summaryText(totals, folder, stopped, interrupted));
    }

protected:
    Output& out_;
    Output& err_;
};

// One line per thing that happened, for logs and pipes.
class LineDisplay : public QuietDisplay {
public:
    using QuietDisplay::QuietDisplay;

    void bookFound(const Book& book, int from, int to, const Text& folder) override {
        out_.write(book.info.name + ": chapters " + std::to_string(from) + " to " +
                   std::to_string(to) + " of " + std::to_string(book.chapters.size()) + " into " +
                   shownPath(folder) + "\n");
    }
    void chapterStarted(const ChapterJob& job, const RunTotals& totals) override {
        out_.write(progressPrefix(totals) + "started " + chapterLabel(job) + "\n");
    }
    void chapterRetrying(const ChapterJob& job, int nextTry, const Text& reason) override {
        err_.write("retrying [" + std::to_string(job.number) + "] (try " + std::to_string(nextTry) +
                   "): " + reason + "\n");
    }
    void chapterDone(const ChapterJob& job, std::int64_t size, bool alreadyComplete,
                     const RunTotals& totals) override {
        out_.write(progressPrefix(totals) + (alreadyComplete ? "already complete " : "done ") +
                   chapterLabel(job) + " (" + byteCountText(size) + ")\n");
    }

protected:
    static Text progressPrefix(const RunTotals& totals) {
        return std::to_string(totals.finished()) + "/" + std::to_string(totals.requested) + " ";
    }
};

// A line redrawn in place with "\r" under the finished chapters' lines.
class TerminalDisplay final : public LineDisplay {
public:
    using LineDisplay::LineDisplay;

    void chapterStarted(const ChapterJob&, const RunTotals&) override { lastDraw_ = {}; }
    void chapterProgress(const ChapterJob& job, std::int64_t received, std::int64_t size,
                         const RunTotals& totals) override {
        const auto now = Clock::now();
        if (now - lastDraw_ < kRedrawPeriod) return;
        lastDraw_ = now;
        draw(statusLine(job, received, size, totals));
    }
    void chapterRetrying(const ChapterJob& job, int nextTry, const Text& reason) override {
        clear();
        LineDisplay::chapterRetrying(job, nextTry, reason);
    }
    void chapterDone(const ChapterJob& job, std::int64_t size, bool alreadyComplete,
                     const RunTotals& totals) override {
        clear();
        LineDisplay::chapterDone(job, size, alreadyComplete, totals);
    }
    void chapterFailed(const Failure& failure, const RunTotals& totals) override {
        clear();
        LineDisplay::chapterFailed(failure, totals);
    }
    void summary(const RunTotals& totals, const Text& folder, bool stopped,
                 const ChapterJob* interrupted) override {
        clear();
        LineDisplay::summary(totals, folder, stopped, interrupted);
    }

private:
    static constexpr auto kRedrawPeriod = std::chrono::milliseconds(100);
    static constexpr int kBarWidth = 16;
    static constexpr std::size_t kNameBytes = 16;

    // A name cut to a few characters, never inside a two-byte one. In code page 936 a byte is
    // one column on screen, so byte counts are also widths.
    static Text shortName(const Text& name) {
        std::size_t end = 0;
        while (end < name.size()) {
            const std::size_t step = static_cast<unsigned char>(name[end]) >= 0x80 ? 2 : 1;
            if (end + step > kNameBytes) break;
            end += step;
        }
        return end < name.size() ? name.substr(0, end) + ".." : name;
    }

    static Text etaText(double seconds) {
        if (!std::isfinite(seconds) || seconds < 0) return "--:--";
        const long total = std::lround(seconds);
        Text text = std::to_string(total / 60);
        text += total % 60 < 10 ? ":0" : ":";
        text += std::to_string(total % 60);
        return text;
    }

    static Text statusLine(const ChapterJob& job, std::int64_t received, std::int64_t size,
                           const RunTotals& totals) {
        const double fraction =
            size > 0
                ? std::clamp(static_cast<double>(received) / static_cast<double>(size), 0.0, 1.0)
                : 0.0;
        const int filled = static_cast<int>(fraction * kBarWidth);
        Text line = "[";
        line.append(static_cast<std::size_t>(filled), '#');
        line.append(static_cast<std::size_t>(kBarWidth - filled), '-');
        line += "] ";
        line += format("%3.0f%%", fraction * 100);
        line += ' ';
        line += shortName(job.name);
        line += " | ";
        line += std::to_string(totals.finished());
        line += '/';
        line += std::to_string(totals.requested);
        line += " done, ";
        line += byteCountText(totals.bytes);
        const double rate =
            totals.seconds > 0 ? static_cast<double>(totals.bytes) / totals.seconds : 0;
        line += ", ";
        line += format("%.1f", rate / 1048576.0);
        line += " MB/s, ETA ";
        // Chapters not started yet are guessed at the mean size of those fetched so far.
        const int downloaded = totals.complete + 1;
        const double meanSize = static_cast<double>(totals.bytes) / downloaded;
        const double rest = static_cast<double>(std::max<std::int64_t>(size - received, 0)) +
                            meanSize * (totals.requested - totals.finished() - 1);
        line += etaText(rate > 0 ? rest / rate : -1);
        return line;
    }

    void draw(const Text& line) {
        const std::size_t pad = shown_ > line.size() ? shown_ - line.size() : 0;
        out_.write("\r" + line + Text(pad, ' '));
        shown_ = line.size();
    }

    void clear() {
        if (shown_ == 0) return;
        Text blank = "\r";
        blank.append(shown_, ' ');
        blank += '\r';
        out_.write(blank);
        shown_ = 0;
    }

    std::size_t shown_ = 0;
    Clock::time_point lastDraw_{};
};

// One JSON object per line. Texts are written with \u escapes, so the lines are plain ASCII
// whatever the console's code page.
class JsonDisplay final : public Display {
public:
    JsonDisplay(Output& out, Output& err) : out_(out), err_(err) {}

    void bookFound(const Book&, int, int, const Text&) override {}
    void chapterStarted(const ChapterJob& job, const RunTotals&) override {
        auto line = chapterObject("started", job);
        line["file"] = utf8(shownPath(job.savePath));
        emit(line);
        lastEmit_ = {};
    }
    void chapterProgress(const ChapterJob& job, std::int64_t received, std::int64_t size,
                         const RunTotals&) override {
        const auto now = Clock::now();
        if (now - lastEmit_ < kProgressPeriod || received == lastReceived_) return;
        lastEmit_ = now;
        lastReceived_ = received;
        auto line = chapterObject("progress", job);
        line["bytes"] = received;
        line["size"] = size;
        emit(line);
    }
    void chapterRetrying(const ChapterJob& job, int nextTry, const Text& reason) override {
        err_.write("retrying [" + std::to_string(job.number) + "] (try " + std::to_string(nextTry) +
                   "): " + reason + "\n");
    }
    void chapterDone(const ChapterJob& job, std::int64_t size, bool alreadyComplete,
                     const RunTotals&) override {
        auto line = chapterObject("done", job);
        line["size"] = size;
        line["alreadyComplete"] = alreadyComplete;
        line["file"] = utf8(shownPath(job.savePath));
        emit(line);
    }
    void chapterFailed(const Failure& failure, const RunTotals&) override {
        auto line = chapterObject("failed", failure.job);
        line["reason"] = utf8(failure.reason);
        line["tries"] = failure.tries;
        emit(line);
    }
    void summary(const RunTotals& totals, const Text& folder, bool stopped,
                 const ChapterJob* interrupted) override {
        nlohmann::json line = {{"event", "summary"},
                               {"requested", totals.requested},
                               {"complete", totals.complete},
                               {"alreadyComplete", totals.alreadyComplete},
                               {"failed", totals.failures.size()},
                               {"bytes", totals.bytes},
                               {"seconds", totals.seconds},
                               {"stopped", stopped},
                               {"folder", utf8(shownPath(folder))}};
        if (interrupted != nullptr) line["interrupted"] = interrupted->number;
        emit(line);
    }

private:
    static constexpr auto kProgressPeriod = std::chrono::milliseconds(250);

    static std::string utf8(const Text& text) { return gbkToUtf8(text); }

    static nlohmann::json chapterObject(const char* event, const ChapterJob& job) {
        return {{"event", event},
                {"number", job.number},
                {"resId", utf8(job.resId)},
                {"name", utf8(job.name)}};
    }

    void emit(const nlohmann::json& line) {
        out_.write(line.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace) + "\n");
    }

    Output& out_;
    Output& err_;
    Clock::time_point lastEmit_{};
    std::int64_t lastReceived_ = -1;
};

}  // namespace

Text byteCountText(std::int64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    if (bytes < 1048576) return format("%.1f KB", static_cast<double>(bytes) / 1024);
    return format("%.1f MB", static_cast<double>(bytes) / 1048576);
}

Text shownPath(const Text& path) {
    const auto native = nativePath(path).u8string();
    return utf8ToGbk(std::string_view(reinterpret_cast<const char*>(native.data()), native.size()));
}

std::unique_ptr<Display> makeDisplay(const CliOptions& options, Output& out, Output& err) {
    if (options.json) return std::make_unique<JsonDisplay>(out, err);
    if (options.quiet) return std::make_unique<QuietDisplay>(out, err);
    if (out.isTerminal()) return std::make_unique<TerminalDisplay>(out, err);
    return std::make_unique<LineDisplay>(out, err);
}

}  // namespace zelbrin::cli
