// What a Download and its task's threads share. Both hold it by shared_ptr, so a Download
// destroyed while its task still winds down leaves the task nothing of its own to touch: the
// task thread only ever reaches this block, never the Download.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string_view>

#include "download/task_param.h"

namespace zelbrin {

class TaskControl {
public:
    explicit TaskControl(TaskParam param) : param_(std::move(param)) {}

    const TaskParam& param() const { return param_; }
    std::intptr_t handle() const { return reinterpret_cast<std::intptr_t>(this); }

    void requestStop() { stop_ = true; }
    bool stopRequested() const { return stop_; }

    // Body bytes received on all connections since the last take.
    void addReceived(std::int64_t bytes);
    int takeReceived();

    // Calls the event callback unless the Download has given up waiting for the task; the
    // callback's answer, or 0.
    int raise(int event, std::intptr_t worker, int value, int value2 = 0);
    void log(std::string_view text);

    // The task's last act, after its event 4 returned.
    void markFinished();
    bool finished() const;
    // Waits up to `milliseconds` for markFinished; true when it came.
    bool waitFinished(int milliseconds);
    // The Download is gone: no more callbacks.
    void abandon() { abandoned_ = true; }

private:
    const TaskParam param_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> abandoned_{false};
    std::mutex receivedMutex_;  // the task's lock over the byte count
    std::int64_t received_ = 0;
    mutable std::mutex finishMutex_;
    std::condition_variable finishedChanged_;
    bool finished_ = false;
};

}  // namespace zelbrin
