// The task record handed to Download::addTask and the callbacks it carries.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>

#include "text/text.h"

namespace zelbrin {

// event, the connection that raised it (0 for the task itself), value, second value, task.
using EventCallback =
    std::function<int(int event, std::intptr_t worker, int value, int value2, std::intptr_t task)>;
// The engine's log texts, e.g. a retry and its reason.
using MessageCallback = std::function<void(std::string_view text, std::intptr_t task)>;

// Absent and empty differ for ftpUser, ftpPassword, referer and httpProxy, hence optional.
struct TaskParam {
    int options = 1;  // option bits; only FTP transfers read them
    Text url;
    Text savePath;
    std::optional<Text> ftpUser = Text("anonymous");
    std::optional<Text> ftpPassword = Text("guest@zelbrin.org");
    int connections = 1;
    int rateLimit = 0;           // bytes per second for the whole transfer; 0: no limit
    int connectTimeout = 20000;  // ms
    int sendTimeout = 20000;     // ms
    int receiveTimeout = 20000;  // ms without any received byte
    int stopWait = 1000;         // ms the destructor waits for the task to end
    int readSize = 20480;        // bytes per receive and per written block
    int sendBlockSize = 1024;    // uploads only
    MessageCallback messageCallback;
    EventCallback eventCallback;
    Text ftpUploadText;
    int ftpTransferType = 1;
    Text binaryExtensions = ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm";
    std::optional<Text> httpProxy;  // "host[:port]"; absent or empty: direct
    std::optional<Text> referer;    // absent: the address up to its last "/"
};

// A record holding the defaults only.
TaskParam defaultTaskParam();

}  // namespace zelbrin
