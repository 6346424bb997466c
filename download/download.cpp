#include "download/download.h"

#include <system_error>

#include "download/task_control.h"
#include "download/transfer_task.h"

namespace zelbrin {
namespace {

bool knownScheme(std::string_view scheme) {
    Text lower(scheme);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    for (const char* known : {"http", "https", "ftp", "mms", "mmst", "rtsp"})
        if (lower == known) return true;
    return false;
}

}  // namespace

bool acceptableAddress(std::string_view url) {
    std::size_t schemeEnd = url.find("://");
    if (url.empty() || schemeEnd == std::string_view::npos ||
        !knownScheme(url.substr(0, schemeEnd)))
        return false;
    std::string_view rest = url.substr(schemeEnd + 3);
    std::size_t slash = rest.find('/');
    return slash != std::string_view::npos && slash > 0;
}

Download::Download() = default;

Download::~Download() {
    std::lock_guard lock(mutex_);
    if (!task_) return;
    task_->requestStop();
    if (task_->waitFinished(task_->param().stopWait)) {
        thread_.join();
    } else {
        // The thread holds only the shared control block, never this object.
        task_->abandon();
        thread_.detach();
    }
}

void Download::dropFinishedTask() {
    if (task_ && task_->finished()) {
        thread_.join();
        task_.reset();
    }
}

bool Download::addTask(const TaskParam& param) {
    std::lock_guard lock(mutex_);
    dropFinishedTask();
    if (task_ || !acceptableAddress(param.url)) return false;
    auto control = std::make_shared<TaskControl>(param);
    try {
        thread_ = std::thread([control] {
            try {
                TransferTask task(control);
                task.run();
            } catch (...) {
                // Nothing leaves the thread.
            }
            control->markFinished();
        });
    } catch (const std::system_error&) {
        return false;
    }
    task_ = std::move(control);
    return true;
}

int Download::takeReceivedBytes() {
    std::lock_guard lock(mutex_);
    dropFinishedTask();
    return task_ ? task_->takeReceived() : 0;
}

bool Download::hasTask() {
    std::lock_guard lock(mutex_);
    dropFinishedTask();
    return task_ != nullptr;
}

bool Download::waitUntilIdle(int milliseconds) {
    std::shared_ptr<TaskControl> task;
    {
        std::lock_guard lock(mutex_);
        task = task_;
    }
    if (task && !task->waitFinished(milliseconds)) return false;
    return !hasTask();
}

}  // namespace zelbrin
