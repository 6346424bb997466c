// The download engine: one task at a time, run on threads of its own, reported through the
// task's event callback (events in download/download_events.h).
//
//   Download engine;
//   TaskParam task = defaultTaskParam();
//   task.url = "http://host/a.mp3";
//   task.savePath = "folder\\a.mp3";
//   task.eventCallback = onEvent;
//   engine.addTask(task);  // false: refused, and no event will come
#pragma once

#include <memory>
#include <mutex>
#include <thread>

#include "download/task_param.h"

namespace zelbrin {

class TaskControl;

class Download {
public:
    Download();
    // Stops a running task and waits up to its stopWait for it; a task still running then is
    // left to end on its own, without calling back.
    ~Download();
    Download(const Download&) = delete;
    Download& operator=(const Download&) = delete;

    // True when the task was accepted and started; returns at once. Refuses (false, no event)
    // while a task is attached, for an empty address, a scheme other than http, https, ftp,
    // mms, mmst and rtsp, an empty host or no "/" after the host, or when no thread starts.
    // Every text of `param` is copied.
    bool addTask(const TaskParam& param);

    // Body bytes received since the previous call, then 0 again; 0 with no task attached.
    int takeReceivedBytes();

    // True while a task is attached: between an accepted addTask and the detaching that
    // follows its event 4.
    bool hasTask();
    // Waits up to `milliseconds` for an attached task to end and detaches it; true when no
    // task is attached any more, so that the next addTask cannot be refused for a busy engine.
    bool waitUntilIdle(int milliseconds);

private:
    // Detaches a task whose event 4 has been delivered.
    void dropFinishedTask();

    std::mutex mutex_;
    std::shared_ptr<TaskControl> task_;
    std::thread thread_;
};

// The refusal rule of addTask for an address alone.
bool acceptableAddress(std::string_view url);

}  // namespace zelbrin
