// One task on its own thread: the first connection asks for the file and learns its size, the
// task creates "<savePath>.part" at that size, more connections split the rest, and the task
// thread delivers events 3, 16 and 4 in the order they were raised. The file gets its final
// name only once every byte is on disk and its length checks out; a failed or stopped task
// removes the ".part", since without a record of which ranges were written it could not be
// resumed safely.
#pragma once

#include <atomic>
#include <condition_variable>  // std::chrono: <chrono> itself does not compile for GBK literals
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "download/download_events.h"
#include "download/part_file.h"
#include "download/range_plan.h"
#include "download/task_control.h"
#include "net/http_stream.h"

namespace zelbrin {

class TransferTask {
public:
    explicit TransferTask(std::shared_ptr<TaskControl> control);
    ~TransferTask();
    TransferTask(const TransferTask&) = delete;
    TransferTask& operator=(const TransferTask&) = delete;

    // The task thread's whole life; never throws.
    void run();

    // For the connections (connection_worker.cpp).
    struct Worker {
        int id = 0;
        StreamCancel cancel;
        std::thread thread;
    };
    void workerMain(int id, StreamCancel& cancel);

private:
    struct PendingEvent {
        int event;
        std::intptr_t worker;
        int value;
    };
    enum class Retry { done, again, fatal };
    class SegmentSink;

    bool httpScheme() const;
    StreamRequest baseRequest() const;
    void superviseTransfer();
    void startWorker(int id);
    bool createPartFile();
    void finish();
    DownloadOutcome verifyAndRename();
    void deliverPending(std::unique_lock<std::mutex>& lock);

    // Worker side.
    bool shouldEnd() const;  // under lock_
    void fail(DownloadOutcome outcome, int value = 0);
    bool pauseFor(std::chrono::milliseconds delay);
    Retry fetchOnce(int id, StreamCancel& cancel, int& failures, StreamSession& session);
    bool decidePath(int id, std::int64_t size);
    void sizeKnown(int id, std::int64_t size, bool rangesRefused);
    bool waitForFile();
    void written(int id, std::int64_t offset, std::int64_t length);
    int runningWorkers() const;
    bool awaitWork(int id);
    bool takeOverSlow(int id);  // under lock_

    std::shared_ptr<TaskControl> control_;
    const TaskParam& param_;

    mutable std::mutex lock_;
    std::condition_variable changed_;
    std::deque<PendingEvent> events_;
    std::vector<std::unique_ptr<Worker>> workers_;  // the task thread's alone
    int running_ = 0;
    bool stopping_ = false;
    std::atomic<std::int64_t> receivedTotal_{0};
    std::optional<DownloadOutcome> failure_;
    int failureValue_ = 0;
    std::int64_t size_ = -1;
    bool fileRequested_ = false;
    bool fileReady_ = false;
    bool rangesRefused_ = false;
    std::optional<RangePlan> plan_;
    // How fast each connection goes: its current answer, and the rate of its previous one.
    struct Pace {
        std::chrono::steady_clock::time_point since{};
        std::int64_t bytes = 0;
        double lastRate = 0;  // bytes per second
    };
    std::map<int, Pace> pace_;
    Text finalPath_;
    PartFile file_;
};

// The program-path form of `path` with "(1)", "(2)", ... before its extension: the first such
// name no file has yet.
Text firstFreeName(const Text& path);

}  // namespace zelbrin
