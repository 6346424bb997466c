#include "download/task_control.h"

#include <climits>
#include <condition_variable>  // std::chrono: <chrono> itself does not compile for GBK literals

namespace zelbrin {

void TaskControl::addReceived(std::int64_t bytes) {
    std::lock_guard lock(receivedMutex_);
    received_ += bytes;
}

int TaskControl::takeReceived() {
    std::lock_guard lock(receivedMutex_);
    std::int64_t taken = received_;
    received_ = 0;
    return taken > INT_MAX ? INT_MAX : static_cast<int>(taken);
}

int TaskControl::raise(int event, std::intptr_t worker, int value, int value2) {
    if (abandoned_ || !param_.eventCallback) return 0;
    return param_.eventCallback(event, worker, value, value2, handle());
}

void TaskControl::log(std::string_view text) {
    if (!abandoned_ && param_.messageCallback) param_.messageCallback(text, handle());
}

void TaskControl::markFinished() {
    std::lock_guard lock(finishMutex_);
    finished_ = true;
    finishedChanged_.notify_all();
}

bool TaskControl::finished() const {
    std::lock_guard lock(finishMutex_);
    return finished_;
}

bool TaskControl::waitFinished(int milliseconds) {
    std::unique_lock lock(finishMutex_);
    return finishedChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                     [this] { return finished_; });
}

}  // namespace zelbrin
