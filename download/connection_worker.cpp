// One connection of a transfer: it fetches its range, checks every answer before writing a
// byte of it, writes at the bytes' own offsets, and retries with a growing pause from the last
// byte written. A server that ignores or garbles ranges turns the transfer into one stream.
#include <algorithm>
#include <charconv>
#include <climits>

#include "download/transfer_task.h"

namespace zelbrin {
namespace {

constexpr int kRetries = 3;
constexpr auto kFirstPause = std::chrono::milliseconds(150);
// A 429 or 503 may say how long to stay away (Retry-After, RFC 9110 10.2.3); it is honoured up
// to this, so that a server asking for an hour cannot hold the chapter that long.
constexpr auto kRetryAfterCap = std::chrono::seconds(5);
// The endgame: a connection without work watches the ones still running and takes over the
// rest of a range whose connection is far slower than it was itself (a CDN holding one path
// back), instead of leaving the file's tail to that one connection.
constexpr auto kIdlePoll = std::chrono::milliseconds(50);
constexpr double kJudgeAfterSeconds = 0.25;  // a connection's rate means little before this
constexpr double kSlowFactor = 4;            // "far slower"
constexpr double kWorthSeconds = 0.2;        // the rest must take the slow one longer than this

double secondsSince(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

std::int64_t parseNumber(std::string_view text) {
    std::int64_t value = -1;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || end != text.data() + text.size() || value < 0) return -1;
    return value;
}

struct ContentRange {
    std::int64_t first = -1;
    std::int64_t last = -1;
    std::int64_t total = -1;  // -1 for "*"
};

// "bytes first-last/total" (RFC 9110, 14.4).
std::optional<ContentRange> parseContentRange(std::string_view text) {
    if (!text.starts_with("bytes ")) return std::nullopt;
    text.remove_prefix(6);
    std::size_t dash = text.find('-');
    std::size_t slash = text.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash)
        return std::nullopt;
    ContentRange range;
    range.first = parseNumber(text.substr(0, dash));
    range.last = parseNumber(text.substr(dash + 1, slash - dash - 1));
    std::string_view total = text.substr(slash + 1);
    range.total = total == "*" ? -1 : parseNumber(total);
    if (range.first < 0 || range.last < range.first || (total != "*" && range.total < 0))
        return std::nullopt;
    return range;
}

bool retryableStatus(int status) { return status >= 500 || status == 408 || status == 429; }

Text lowerAscii(std::string_view text) {
    Text out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

// True when `path` ends in one of the "|"-separated extensions (".mp3|.zip|..."), any case.
bool hasExtensionOf(std::string_view path, std::string_view extensions) {
    const Text lowerPath = lowerAscii(path);
    const Text list = lowerAscii(extensions);
    for (std::size_t start = 0; start <= list.size();) {
        std::size_t end = std::min(list.find('|', start), list.size());
        std::string_view extension(list.data() + start, end - start);
        if (!extension.empty() && lowerPath.ends_with(extension)) return true;
        start = end + 1;
    }
    return false;
}

// A web page where a binary file (an .mp3, say) was asked for is the server's error page sent
// with 200, as CDNs and busy servers do: saving it would pass a page off as the file.
bool errorPageFor(std::string_view headers, const TaskParam& param) {
    return lowerAscii(findHeader(headers, "Content-Type")).starts_with("text/html") &&
           hasExtensionOf(param.savePath, param.binaryExtensions);
}

}  // namespace

class TransferTask::SegmentSink : public StreamSink {
public:
    SegmentSink(TransferTask& task, int id, bool probing, bool ranged, std::int64_t next)
        : task_(task), id_(id), probing_(probing), ranged_(ranged), next_(next) {}

    bool onResponse(int status, std::string_view headers) override {
        status_ = status;
        if (probing_) return acceptFirstAnswer(status, headers);
        std::int64_t size = task_.size_;
        if (status == 206) {
            auto range = parseContentRange(findHeader(headers, "Content-Range"));
            // The server now tells another size than its first answer did: the length the
            // file was made for cannot be trusted, so neither could a file "complete" at it.
            if (range && range->total != -1 && range->total != size) {
                task_.fail(DownloadOutcome::lengthMismatch);
                return false;
            }
            if (!ranged_ || !range || range->first != next_ || range->last >= size ||
                (range->total != -1 && range->total != size))
                return distrustRanges("a wrong Content-Range");
            offset_ = range->first;
            answerEnd_ = range->last + 1;
            return true;
        }
        if (status == 200) {
            std::int64_t length = parseNumber(findHeader(headers, "Content-Length"));
            if (length != -1 && length != size) {
                task_.fail(DownloadOutcome::lengthMismatch);
                return false;
            }
            // The whole file from its first byte: usable, byte i at offset i, by skipping
            // what is below this range.
            if (ranged_ && !distrustRanges("a whole file for a range")) return false;
            offset_ = 0;
            answerEnd_ = size;
            return true;
        }
        return statusProblem(status, headers);
    }

    bool onBody(const std::uint8_t* data, std::size_t size) override {
        task_.receivedTotal_ += static_cast<std::int64_t>(size);
        task_.control_->addReceived(static_cast<std::int64_t>(size));
        std::size_t blockSize = static_cast<std::size_t>(std::max(task_.param_.readSize, 1));
        while (size > 0) {
            std::size_t block = std::min(size, blockSize);
            if (offset_ < next_) {  // below this range: not ours to write
                block = static_cast<std::size_t>(
                    std::min<std::int64_t>(static_cast<std::int64_t>(block), next_ - offset_));
            } else if (!writeBlock(data, block)) {
                return false;
            }
            offset_ += static_cast<std::int64_t>(block);
            data += block;
            size -= block;
        }
        return true;
    }

    int status() const { return status_; }
    bool retryable() const { return retryable_; }
    bool merged() const { return merged_; }
    bool answeredWhole() const { return answerEnd_ > 0 && offset_ >= answerEnd_; }
    bool wroteAny() const { return wroteAny_; }
    std::chrono::milliseconds retryAfter() const { return retryAfter_; }

private:
    bool acceptFirstAnswer(int status, std::string_view headers) {
        if (status != 200) return statusProblem(status, headers);
        if (errorPageFor(headers, task_.param_)) {
            task_.control_->log("the server sent a web page instead of the file");
            task_.fail(DownloadOutcome::httpStatus);
            return false;
        }
        Text lengthText = findHeader(headers, "Content-Length");
        std::int64_t length = lengthText.empty() ? -1 : parseNumber(lengthText);
        if (length <= 0) {
            task_.fail(DownloadOutcome::lengthMismatch, length < 0 ? -1 : 0);
            return false;
        }
        if (length > INT_MAX) {  // the events carry sizes as 32-bit numbers
            task_.fail(DownloadOutcome::notSupported);
            return false;
        }
        Text acceptRanges = findHeader(headers, "Accept-Ranges");
        if (!task_.decidePath(id_, length)) return false;
        task_.sizeKnown(id_, length, acceptRanges == "none");
        if (!task_.waitForFile()) return false;
        offset_ = 0;
        answerEnd_ = length;
        return true;
    }

    bool statusProblem(int status, std::string_view headers) {
        if (retryableStatus(status)) {
            retryable_ = true;
            // Only the delay-seconds form; a date would need the server's clock to agree.
            std::int64_t seconds = parseNumber(findHeader(headers, "Retry-After"));
            if (seconds > 0)
                retryAfter_ = std::min<std::chrono::milliseconds>(std::chrono::seconds(seconds),
                                                                  kRetryAfterCap);
        } else {
            task_.fail(DownloadOutcome::httpStatus);
        }
        return false;
    }

    // True when this answer may still be used as a whole-file stream.
    bool distrustRanges(std::string_view why) {
        {
            std::lock_guard lock(task_.lock_);
            merged_ = task_.plan_->mergeBack(id_);
        }
        task_.control_->log(Text("one stream from now on: the server sent ") + Text(why));
        return !merged_ && status_ == 200;
    }

    bool writeBlock(const std::uint8_t* data, std::size_t block) {
        std::int64_t allowed = 0;
        {
            std::lock_guard lock(task_.lock_);
            if (task_.shouldEnd()) return false;
            allowed = task_.plan_->claim(id_, offset_, static_cast<std::int64_t>(block));
        }
        if (allowed <= 0) return false;  // the range ends here (or was handed on)
        if (!task_.file_.writeAt(offset_, data, static_cast<std::size_t>(allowed))) {
            task_.fail(DownloadOutcome::fileError);
            return false;
        }
        task_.written(id_, offset_, allowed);
        wroteAny_ = true;
        next_ = offset_ + allowed;
        if (!throttle(allowed)) return false;
        return allowed == static_cast<std::int64_t>(block);
    }

    // Keeps this connection to its even share of the rate limit.
    bool throttle(std::int64_t bytes) {
        if (task_.param_.rateLimit <= 0) return true;
        double share =
            static_cast<double>(task_.param_.rateLimit) / std::max(1, task_.runningWorkers());
        auto now = std::chrono::steady_clock::now();
        nextSlot_ = std::max(nextSlot_, now) +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(static_cast<double>(bytes) / share));
        return task_.pauseFor(
            std::chrono::duration_cast<std::chrono::milliseconds>(nextSlot_ - now));
    }

    TransferTask& task_;
    int id_;
    bool probing_;
    bool ranged_;
    std::int64_t next_;        // the next byte of this range to write
    std::int64_t offset_ = 0;  // file offset of the answer's next byte
    std::int64_t answerEnd_ = 0;
    int status_ = 0;
    bool retryable_ = false;
    bool merged_ = false;
    bool wroteAny_ = false;
    std::chrono::milliseconds retryAfter_{0};
    std::chrono::steady_clock::time_point nextSlot_{};
};

bool TransferTask::shouldEnd() const {
    return stopping_ || failure_.has_value() || control_->stopRequested();
}

int TransferTask::runningWorkers() const {
    std::lock_guard lock(lock_);
    return running_;
}

void TransferTask::fail(DownloadOutcome outcome, int value) {
    std::lock_guard lock(lock_);
    if (!failure_) {
        failure_ = outcome;
        failureValue_ = value;
    }
    changed_.notify_all();
}

bool TransferTask::pauseFor(std::chrono::milliseconds delay) {
    std::unique_lock lock(lock_);
    return !changed_.wait_for(lock, delay, [this] { return shouldEnd(); });
}

bool TransferTask::decidePath(int id, std::int64_t size) {
    Text path = param_.savePath;
    std::error_code error;
    auto native = enginePath(path);
    if (std::filesystem::exists(native, error)) {
        auto existing = std::filesystem::file_size(native, error);
        int answer = control_->raise(
            kEventFileExists, id + 1,
            error ? 0 : static_cast<int>(std::min<std::uintmax_t>(existing, INT_MAX)),
            static_cast<int>(size));
        if (answer == kAnswerNewName) {
            path = firstFreeName(path);
        } else if (answer != kAnswerOverwrite) {
            fail(DownloadOutcome::fileExists, static_cast<int>(size));
            return false;
        }
    }
    std::lock_guard lock(lock_);
    finalPath_ = path;
    return true;
}

void TransferTask::sizeKnown(int, std::int64_t size, bool rangesRefused) {
    std::lock_guard lock(lock_);
    size_ = size;
    rangesRefused_ = rangesRefused;
    fileRequested_ = true;
    changed_.notify_all();
}

bool TransferTask::waitForFile() {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [this] { return fileReady_ || shouldEnd(); });
    return fileReady_ && !shouldEnd();
}

void TransferTask::written(int id, std::int64_t offset, std::int64_t length) {
    std::lock_guard lock(lock_);
    plan_->markWritten(offset, length);
    pace_[id].bytes += length;
    events_.push_back({kEventWritten, id + 1, static_cast<int>(length)});
    changed_.notify_all();
}

TransferTask::Retry TransferTask::fetchOnce(int id, StreamCancel& cancel, int& failures,
                                            StreamSession& session) {
    StreamRequest request = baseRequest();
    bool probing = false;
    bool ranged = false;
    std::int64_t next = 0;
    {
        std::lock_guard lock(lock_);
        if (shouldEnd()) return Retry::fatal;
        probing = !fileReady_;
        Pace& pace = pace_[id];
        pace.since = std::chrono::steady_clock::now();
        pace.bytes = 0;
        if (!probing) {
            auto segment = plan_->segmentOf(id);
            if (!segment || segment->pos >= segment->end) {
                plan_->release(id);
                return Retry::done;
            }
            next = segment->pos;
            ranged = plan_->splitting();
            if (ranged)
                request.headers.push_back("Range: bytes=" + std::to_string(next) + "-" +
                                          std::to_string(segment->end - 1));
        }
    }
    SegmentSink sink(*this, id, probing, ranged, next);
    StreamResult result = streamGet(request, sink, cancel, &session);

    std::unique_lock lock(lock_);
    if (Pace& pace = pace_[id]; pace.bytes > 0)
        pace.lastRate = static_cast<double>(pace.bytes) / std::max(secondsSince(pace.since), 1e-3);
    if (shouldEnd()) return Retry::fatal;
    if (sink.merged()) return Retry::done;
    if (fileReady_) {
        auto segment = plan_->segmentOf(id);
        if (!segment || segment->pos >= segment->end) {
            plan_->release(id);
            return Retry::done;
        }
        // The answer ended where it said it would, short of this range (the range grew, or
        // the server sends less at a time): go on at once.
        if (result.error == StreamError::none && sink.answeredWhole() && sink.wroteAny())
            return Retry::again;
    }
    if (++failures > kRetries) {
        DownloadOutcome outcome = result.error == StreamError::timeout ? DownloadOutcome::timeout
                                  : sink.retryable()                   ? DownloadOutcome::httpStatus
                                                     : DownloadOutcome::connection;
        lock.unlock();
        fail(outcome);
        return Retry::fatal;
    }
    lock.unlock();
    control_->log("retrying a range after " + (sink.status()
                                                   ? "status " + std::to_string(sink.status())
                                                   : Text("a connection failure")));
    return pauseFor(std::max<std::chrono::milliseconds>(kFirstPause * (1 << (failures - 1)),
                                                        sink.retryAfter()))
               ? Retry::again
               : Retry::fatal;
}

bool TransferTask::takeOverSlow(int id) {
    double myRate = pace_[id].lastRate;
    if (myRate <= 0) return false;
    int slowest = -1;
    double longest = kWorthSeconds;
    for (const Segment& segment : plan_->active()) {
        const Pace& pace = pace_[segment.owner];
        double elapsed = secondsSince(pace.since);
        if (elapsed < kJudgeAfterSeconds) continue;
        double rate = std::max(static_cast<double>(pace.bytes) / elapsed, 1.0);
        double restSeconds = static_cast<double>(segment.end - segment.pos) / rate;
        if (rate * kSlowFactor < myRate && restSeconds > longest) {
            longest = restSeconds;
            slowest = segment.owner;
        }
    }
    return slowest >= 0 && plan_->takeOver(id, slowest);
}

// True once this worker has a range to fetch; false when there is nothing left to help with.
bool TransferTask::awaitWork(int id) {
    std::unique_lock lock(lock_);
    for (;;) {
        if (shouldEnd() || !plan_) return false;
        if (plan_->takeWork(id)) return true;
        // A rate limit is shared by the running workers: a waiting one would take its share.
        if (!plan_->splitting() || param_.rateLimit > 0 || plan_->active().empty()) return false;
        if (takeOverSlow(id)) {
            lock.unlock();
            control_->log("taking over the rest of a slow connection's range");
            return true;
        }
        changed_.wait_for(lock, kIdlePoll);
    }
}

void TransferTask::workerMain(int id, StreamCancel& cancel) {
    try {
        int failures = 0;
        Retry step = Retry::again;
        // One kept-alive connection for every range this worker fetches.
        StreamSession session;
        if (id == 0) {
            while ((step = fetchOnce(id, cancel, failures, session)) == Retry::again) {
            }
        }
        while (step != Retry::fatal && awaitWork(id)) {
            failures = 0;
            while ((step = fetchOnce(id, cancel, failures, session)) == Retry::again) {
            }
        }
    } catch (...) {
        fail(DownloadOutcome::connection);
    }
    std::lock_guard lock(lock_);
    if (plan_) plan_->release(id);
    --running_;
    changed_.notify_all();
}

}  // namespace zelbrin
