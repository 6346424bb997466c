#include "download/transfer_task.h"

#include <algorithm>
#include <system_error>

namespace zelbrin {
namespace {

constexpr int kMaxConnections = 16;
// Below this a range is not worth another connection's request.
constexpr std::int64_t kMinPiece = 64 * 1024;
constexpr auto kSupervisePeriod = std::chrono::milliseconds(50);

Text lowerAscii(std::string_view text) {
    Text out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

int clampToInt(std::int64_t value) {
    return static_cast<int>(std::clamp<std::int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace

Text firstFreeName(const Text& path) {
    // Walk characters, not bytes: the trail byte of a two-byte character may be 0x5C or 0x2E.
    std::size_t nameStart = 0;
    std::size_t dot = Text::npos;
    for (std::size_t i = 0; i < path.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(path[i]);
        if (c >= 0x80) {
            ++i;
        } else if (c == '\\' || c == '/') {
            nameStart = i + 1;
            dot = Text::npos;
        } else if (c == '.') {
            dot = i;
        }
    }
    std::size_t cut = (dot == Text::npos || dot == nameStart) ? path.size() : dot;
    for (int n = 1;; ++n) {
        Text candidate = path.substr(0, cut) + "(" + std::to_string(n) + ")" + path.substr(cut);
        std::error_code error;
        if (!std::filesystem::exists(enginePath(candidate), error) || n == INT32_MAX)
            return candidate;
    }
}

TransferTask::TransferTask(std::shared_ptr<TaskControl> control)
    : control_(std::move(control)), param_(control_->param()) {}

TransferTask::~TransferTask() {
    for (auto& worker : workers_) {
        worker->cancel.cancel();
        if (worker->thread.joinable()) worker->thread.join();
    }
}

bool TransferTask::httpScheme() const {
    Text scheme = lowerAscii(param_.url.substr(0, param_.url.find("://")));
    return scheme == "http" || scheme == "https";
}

StreamRequest TransferTask::baseRequest() const {
    StreamRequest request;
    request.url = param_.url;
    request.proxy = param_.httpProxy.value_or(Text{});
    request.connectTimeoutMs = param_.connectTimeout;
    request.sendTimeoutMs = param_.sendTimeout;
    request.receiveTimeoutMs = param_.receiveTimeout;
    request.receiveSize = param_.readSize;
    Text referer = param_.referer
                       ? *param_.referer
                       : param_.url.substr(0, std::min(param_.url.rfind('/'), param_.url.size()));
    request.headers = {"Accept: */*", "Referer: " + referer,
                       "User-Agent: Mozilla/4.0 (compatible; MSIE 9.0; Windows NT 6.1)"};
    return request;
}

void TransferTask::run() {
    try {
        if (!httpScheme()) {
            control_->raise(kEventTaskEnded, 0, 0, static_cast<int>(DownloadOutcome::notSupported));
            return;
        }
        superviseTransfer();
        finish();
    } catch (...) {
        // Nothing may leave the thread; the workers are stopped and joined by the destructor.
        file_.close();
    }
}

void TransferTask::startWorker(int id) {
    auto worker = std::make_unique<Worker>();
    worker->id = id;
    Worker& w = *worker;
    ++running_;
    try {
        w.thread = std::thread([this, &w] { workerMain(w.id, w.cancel); });
    } catch (const std::system_error&) {
        --running_;
        if (id == 0) {
            failure_ = DownloadOutcome::connection;
        }
        return;
    }
    workers_.push_back(std::move(worker));
}

void TransferTask::superviseTransfer() {
    std::unique_lock lock(lock_);
    startWorker(0);
    for (;;) {
        deliverPending(lock);
        if (fileRequested_ && !fileReady_ && !shouldEnd()) {
            lock.unlock();
            bool created = createPartFile();
            lock.lock();
            if (!created) {
                failure_ = DownloadOutcome::fileError;
            } else {
                plan_.emplace(size_, kMinPiece);
                plan_->assignWhole(0);
                if (rangesRefused_) plan_->stopSplitting();
                fileReady_ = true;
                changed_.notify_all();
                int connections = std::clamp(param_.connections, 1, kMaxConnections);
                for (int id = 1; id < connections && plan_->splitting(); ++id) startWorker(id);
            }
        }
        if (!stopping_ && shouldEnd()) {
            stopping_ = true;
            for (auto& worker : workers_) worker->cancel.cancel();
            changed_.notify_all();
        }
        if (running_ == 0 && events_.empty()) break;
        changed_.wait_for(lock, kSupervisePeriod);
    }
    lock.unlock();
    for (auto& worker : workers_)
        if (worker->thread.joinable()) worker->thread.join();
}

void TransferTask::deliverPending(std::unique_lock<std::mutex>& lock) {
    while (!events_.empty()) {
        PendingEvent event = events_.front();
        events_.pop_front();
        lock.unlock();
        control_->raise(event.event, event.worker, event.value);
        lock.lock();
    }
}

bool TransferTask::createPartFile() {
    Text path;
    std::int64_t size = 0;
    {
        std::lock_guard lock(lock_);
        path = finalPath_;
        size = size_;
    }
    // The file is created at its full size, sparsely where the file system can: refuse a size
    // the disk cannot hold before reserving any of it, rather than fail once it is full.
    std::error_code error;
    const auto native = enginePath(path + ".part");
    const auto space = std::filesystem::space(
        native.has_parent_path() ? native.parent_path() : std::filesystem::path("."), error);
    if (!error && static_cast<std::uintmax_t>(size) > space.available) {
        control_->log("not enough free disk space for " + std::to_string(size) + " bytes");
        return false;
    }
    if (!file_.create(native, size)) return false;
    control_->raise(kEventSizeKnown, 0, clampToInt(size));
    return true;
}

DownloadOutcome TransferTask::verifyAndRename() {
    if (!plan_ || !plan_->complete() || file_.size() != size_)
        return DownloadOutcome::lengthMismatch;
    file_.close();
    std::error_code error;
    // Replaces a file the caller chose to overwrite (event 18 answered 2).
    std::filesystem::rename(enginePath(finalPath_ + ".part"), enginePath(finalPath_), error);
    return error ? DownloadOutcome::fileError : DownloadOutcome::complete;
}

void TransferTask::finish() {
    // Every worker has been joined: what follows needs no lock.
    DownloadOutcome outcome = DownloadOutcome::complete;
    bool complete = plan_ && plan_->complete() && !failure_;
    if (failure_) {
        outcome = *failure_;
    } else if (!complete && control_->stopRequested()) {
        outcome = DownloadOutcome::stopped;
    } else {
        outcome = verifyAndRename();
    }
    if (outcome != DownloadOutcome::complete && fileReady_) {
        file_.close();
        std::error_code error;
        std::filesystem::remove(enginePath(finalPath_ + ".part"), error);
    }
    int value = failureValue_;
    if (outcome == DownloadOutcome::stopped)
        value = clampToInt(receivedTotal_);
    else if (size_ > 0)
        value = clampToInt(size_);
    control_->raise(kEventTaskEnded, 0, value, static_cast<int>(outcome));
}

}  // namespace zelbrin
