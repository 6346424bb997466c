#include "cli/book_download.h"

#include <condition_variable>  // std::chrono: <chrono> itself does not compile for GBK literals
#include <memory>
#include <mutex>

#include "download/download.h"
#include "download/download_events.h"
#include "download/sequence.h"

namespace zelbrin::cli {
namespace {

using Clock = std::chrono::steady_clock;

// How often the waiting thread looks at the stop flag and feeds the display. The next chapter
// does not wait for it: the end of a chapter wakes the thread at once.
constexpr auto kWakePeriod = std::chrono::milliseconds(50);
// The engine lets go of a task right after its last event; this bounds the wait for that.
constexpr int kHandOverWaitMs = 5000;

// One try of one chapter, shared with the engine's threads through the event callback.
struct Attempt {
    std::mutex mutex;
    std::condition_variable endedSignal;
    bool ended = false;
    DownloadOutcome outcome = DownloadOutcome::connection;
    std::atomic<std::int64_t> size{0};
    std::atomic<std::int64_t> received{0};
    std::atomic<bool> alreadyComplete{false};

    int onEvent(int event, int value, int value2) {
        switch (event) {
            case kEventSizeKnown:
                size = value;
                return 0;
            case kEventWritten:
                received += value;
                return 0;
            case kEventFileExists: {
                const int answer = existingFileAnswer(value, value2);
                if (answer == kAnswerGiveUp) {
                    alreadyComplete = true;
                    size = value;
                }
                return answer;
            }
            case kEventTaskEnded: {
                std::lock_guard lock(mutex);
                ended = true;
                outcome = static_cast<DownloadOutcome>(value2);
                endedSignal.notify_all();
                return 0;
            }
            default:
                return 0;
        }
    }
};

enum class TryResult { complete, alreadyComplete, failed, stopped };

class ChapterRunner {
public:
    ChapterRunner(const DownloadSettings& settings, Display& display,
                  const std::atomic<bool>& stopRequested)
        : settings_(settings), display_(display), stopRequested_(stopRequested) {}

    DownloadRun run(const std::vector<ChapterJob>& jobs) {
        run_.totals.requested = static_cast<int>(jobs.size());
        started_ = Clock::now();
        for (const ChapterJob& job : jobs) {
            if (stopRequested_) {
                run_.stopped = true;
                break;
            }
            runChapter(job);
            if (run_.stopped) break;
        }
        engine_.reset();
        run_.totals.seconds = secondsSinceStart();
        return run_;
    }

private:
    double secondsSinceStart() const {
        return std::chrono::duration<double>(Clock::now() - started_).count();
    }

    void runChapter(const ChapterJob& job) {
        display_.chapterStarted(job, run_.totals);
        Text reason;
        int tries = 0;
        while (tries < settings_.tries) {
            ++tries;
            if (tries > 1) display_.chapterRetrying(job, tries, reason);
            const TryResult result = tryChapter(job, reason);
            if (result == TryResult::failed) continue;
            if (result == TryResult::stopped) {
                run_.stopped = true;
                run_.interrupted = job;
                return;
            }
            const bool already = result == TryResult::alreadyComplete;
            ++(already ? run_.totals.alreadyComplete : run_.totals.complete);
            run_.totals.seconds = secondsSinceStart();
            display_.chapterDone(job, lastSize_, already, run_.totals);
            return;
        }
        run_.totals.failures.push_back({job, reason, tries});
        run_.totals.seconds = secondsSinceStart();
        display_.chapterFailed(run_.totals.failures.back(), run_.totals);
    }

    TryResult tryChapter(const ChapterJob& job, Text& reason) {
        if (job.savePath.empty()) {
            reason = "no file name fits in the folder's path";
            return TryResult::failed;
        }
        const Text address = chapterAudioAddress(settings_.bookId, job.resId);
        if (stopRequested_) return TryResult::stopped;
        if (address.empty()) {
            reason = "the service gave no audio address";
            return TryResult::failed;
        }
        auto attempt = std::make_shared<Attempt>();
        if (!engine_) engine_ = std::make_unique<Download>();
        if (!engine_->addTask(taskFor(job, address, attempt))) {
            reason = "the download engine refused the address";
            return TryResult::failed;
        }
        if (!waitForEnd(job, *attempt)) return TryResult::stopped;
        engine_->waitUntilIdle(kHandOverWaitMs);

        run_.totals.bytes += attempt->received;
        lastSize_ = attempt->size;
        const DownloadOutcome outcome = attempt->outcome;
        if (outcome == DownloadOutcome::complete) return TryResult::complete;
        if (outcome == DownloadOutcome::fileExists && attempt->alreadyComplete)
            return TryResult::alreadyComplete;
        reason = toText(outcome);
        return TryResult::failed;
    }

    TaskParam taskFor(const ChapterJob& job, const Text& address,
                      const std::shared_ptr<Attempt>& attempt) const {
        TaskParam task = defaultTaskParam();
        task.url = address;
        task.savePath = job.savePath;
        task.connections = settings_.connections;
        if (settings_.proxy) task.httpProxy = settings_.proxy;
        // The attempt outlives the engine's last call back: the callback holds it.
        task.eventCallback = [attempt](int event, std::intptr_t, int value, int value2,
                                       std::intptr_t) {
            return attempt->onEvent(event, value, value2);
        };
        return task;
    }

    // False when a stop came first; the engine is gone then, and with it the partial file.
    bool waitForEnd(const ChapterJob& job, Attempt& attempt) {
        for (;;) {
            {
                std::unique_lock lock(attempt.mutex);
                if (attempt.endedSignal.wait_for(lock, kWakePeriod, [&] { return attempt.ended; }))
                    return true;
            }
            if (stopRequested_) {
                engine_.reset();
                run_.totals.bytes += attempt.received;
                return false;
            }
            RunTotals now = run_.totals;
            now.bytes += attempt.received;
            now.seconds = secondsSinceStart();
            display_.chapterProgress(job, attempt.received, attempt.size, now);
        }
    }

    const DownloadSettings& settings_;
    Display& display_;
    const std::atomic<bool>& stopRequested_;
    std::unique_ptr<Download> engine_;
    DownloadRun run_;
    Clock::time_point started_;
    std::int64_t lastSize_ = 0;
};

}  // namespace

DownloadRun downloadChapters(const std::vector<ChapterJob>& jobs, const DownloadSettings& settings,
                             Display& display, const std::atomic<bool>& stopRequested) {
    return ChapterRunner(settings, display, stopRequested).run(jobs);
}

}  // namespace zelbrin::cli
