// Downloads one address with the engine and prints the wall time and the bytes written, for
// comparison with other download tools on the same address.
//   engine_bench URL FILE [CONNECTIONS]
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "download/download.h"
#include "download/download_events.h"

int main(int argc, char** argv) {
    using namespace zelbrin;
    if (argc < 3) {
        std::fprintf(stderr, "usage: engine_bench URL FILE [CONNECTIONS]\n");
        return 2;
    }
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    int outcome = -1;
    long long written = 0;

    TaskParam task = defaultTaskParam();
    task.url = argv[1];
    task.savePath = argv[2];
    task.connections = argc > 3 ? std::atoi(argv[3]) : 10;
    task.eventCallback = [&](int event, std::intptr_t, int value, int value2, std::intptr_t) {
        std::lock_guard lock(mutex);
        if (event == kEventWritten) written += value;
        if (event == kEventFileExists) return kAnswerOverwrite;
        if (event == kEventTaskEnded) {
            outcome = value2;
            done = true;
            ended.notify_all();
        }
        return 0;
    };
    auto started = std::chrono::steady_clock::now();
    Download engine;
    if (!engine.addTask(task)) {
        std::fprintf(stderr, "refused\n");
        return 2;
    }
    std::unique_lock lock(mutex);
    ended.wait(lock, [&] { return done; });
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    std::printf("%.3f s, %lld bytes, %.1f MB/s, %s\n", seconds, written,
                seconds > 0 ? written / seconds / 1e6 : 0.0,
                toText(static_cast<DownloadOutcome>(outcome)).c_str());
    return outcome == 0 ? 0 : 1;
}
