// The download engine's rows of the fault matrix: a misbehaving network, server and disk, and
// a Download destroyed at every stage. Each row proves that the task ends within its time-outs,
// says how through event 4, and leaves either the byte-exact file under its final name or no
// file at all (no ".part" either).
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "download/download.h"
#include "download/download_events.h"
#include "download/task_param.h"
#include "fake_service.h"
#include "small_disk.h"

namespace zelbrin {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::int64_t kBook = 31;
constexpr std::int64_t kChapter = 3101;
constexpr int kSize = 200000;
constexpr int kReceiveTimeoutMs = 1000;

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// One task's events, kept alive by the callback itself so that a late call back cannot touch
// freed memory even if the engine broke its promise not to call after destruction.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<int> codes;
    int endValue = 0;
    std::optional<DownloadOutcome> outcome;
    std::int64_t written = 0;
    int answer18 = kAnswerNewName;
    std::atomic<bool> destroyed{false};
    std::atomic<int> callsAfterDestruction{0};

    static EventCallback callbackOf(const std::shared_ptr<Recorder>& self) {
        return [self](int code, std::intptr_t, int value, int value2, std::intptr_t) {
            if (self->destroyed) ++self->callsAfterDestruction;
            std::lock_guard lock(self->mutex);
            self->codes.push_back(code);
            if (code == kEventWritten) self->written += value;
            if (code == kEventTaskEnded) {
                self->endValue = value;
                self->outcome = static_cast<DownloadOutcome>(value2);
            }
            self->changed.notify_all();
            return code == kEventFileExists ? self->answer18 : 0;
        };
    }
    bool waitForEnd(milliseconds limit) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return outcome.has_value(); });
    }
    bool waitForBytes(milliseconds limit) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] { return written > 0; });
    }
    bool saw(int code) {
        std::lock_guard lock(mutex);
        return std::find(codes.begin(), codes.end(), code) != codes.end();
    }
};

class EngineFaults : public ::testing::Test {
protected:
    void SetUp() override {
        fake_service::Catalogue catalogue;
        fake_service::Book book;
        book.id = kBook;
        book.name = "book";
        book.chapters.push_back({kChapter, "chapter", kSize, {}});
        book.total = 1;
        catalogue.books.push_back(book);
        service_ = std::make_unique<fake_service::FakeService>(catalogue);
        ASSERT_TRUE(service_->start());
        dir_ = fs::temp_directory_path() /
               ("zelbrin-engine-faults-" + std::to_string(Clock::now().time_since_epoch().count()) +
                "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir_);
    }
    void TearDown() override {
        service_->stop();
        std::error_code error;
        fs::remove_all(dir_, error);
    }

    Text audioUrl(const std::string& query) const {
        return service_->baseUrl() + "/audio/" + std::to_string(kBook) + "/" +
               std::to_string(kChapter) + ".mp3?" + query;
    }
    TaskParam task(const Text& url, int connections, const std::shared_ptr<Recorder>& recorder,
                   const fs::path& save) const {
        TaskParam param = defaultTaskParam();
        param.url = url;
        param.savePath = save.string();  // the test paths are ASCII
        param.connections = connections;
        param.connectTimeout = 2000;
        param.receiveTimeout = kReceiveTimeoutMs;
        param.eventCallback = Recorder::callbackOf(recorder);
        return param;
    }

    // Either the one byte-exact file under its final name, or nothing at all in `folder`.
    static void expectExactOrNothing(const fs::path& folder, bool complete, int size = kSize) {
        std::vector<fs::path> files(fs::directory_iterator(folder), {});
        if (!complete) {
            EXPECT_TRUE(files.empty()) << files.front();
            return;
        }
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(files[0].filename(), "a.mp3");
        EXPECT_TRUE(readFile(files[0]) == fake_service::audioBytes(kBook, kChapter, size));
    }

    std::unique_ptr<fake_service::FakeService> service_;
    fs::path dir_;
};

// complete: the whole file; declared: the first kDeclared bytes the server declared;
// failed: nothing saved.
enum class Ends { complete, declared, failed };
constexpr int kDeclared = kSize - 1000;

TEST_F(EngineFaults, ServerAndNetworkFaultsEndByteExactOrWithNothingSaved) {
    // A port nobody listens on: a service that was started and stopped again.
    fake_service::FakeService gone;
    ASSERT_TRUE(gone.start());
    const Text refused = gone.baseUrl() + "/audio/31/3101.mp3";
    gone.stop();
    const std::string s = std::to_string(kSize);

    static const struct Row {
        const char* what;
        std::string query;  // "" with `refusedUrl`
        int connections;
        Ends ends;
        std::optional<DownloadOutcome> outcome;  // of a failed row; nullopt: any failure
        int atLeastMs;                           // the task must not end sooner (a pause)
        int atMostMs;
    } rows[] = {
        {"connection refused", "", 1, Ends::failed, DownloadOutcome::connection, 0, 8000},
        {"closed at once, every try", "drop=1", 1, Ends::failed, DownloadOutcome::connection, 0,
         8000},
        {"closed at once, the first try", "drop=1&dropCount=1", 1, Ends::complete, {}, 0, 8000},
        {"closed mid-body, the first connection",
         "closeAfter=50000&closeMode=once",
         4,
         Ends::complete,
         {},
         0,
         8000},
        {"closed mid-body, another connection",
         "closeAfter=10000&closeMode=firstRange",
         4,
         Ends::complete,
         {},
         0,
         8000},
        {"closed mid-body, every try", "closeAfter=20000&closeMode=always", 4, Ends::failed,
         DownloadOutcome::connection, 0, 8000},
        {"stall past the receive time-out, once",
         "stall=3&stallAfter=150000",
         1,
         Ends::complete,
         {},
         kReceiveTimeoutMs,
         8000},
        // "timeout" natively; Wine's WinHTTP reports the same stall as a broken connection.
        {"stall past the receive time-out, every try", "stall=30&stallAfter=0", 1, Ends::failed,
         std::nullopt, 4 * kReceiveTimeoutMs, 12000},
        {"kept-alive connections closed before reuse",
         "dropIdle=1",
         4,
         Ends::complete,
         {},
         0,
         8000},
        {"a slow drip", "rate=40000", 2, Ends::complete, {}, 1500, 10000},
        {"200 for a range request", "ignoreRange=1", 4, Ends::complete, {}, 0, 8000},
        {"206 with a wrong Content-Range", "badRange=1", 4, Ends::complete, {}, 0, 8000},
        {"Content-Length larger than the body", "length=" + std::to_string(kSize + 1000), 4,
         Ends::failed, std::nullopt, 0, 8000},
        // Nothing in a single answer tells a short Content-Length from garbage after the body:
        // the file holds the bytes declared. Ranged answers carry the real total and expose it.
        {"Content-Length smaller than the body, one connection",
         "length=" + std::to_string(kSize - 1000),
         1,
         Ends::declared,
         {},
         0,
         8000},
        {"Content-Length smaller than the body, ranges tell the real size",
         "length=" + std::to_string(kSize - 1000) + "&rate=100000", 4, Ends::failed,
         DownloadOutcome::lengthMismatch, 0, 8000},
        {"negative Content-Length", "length=-5", 1, Ends::failed, std::nullopt, 0, 8000},
        {"garbage Content-Length", "length=12abc", 1, Ends::failed, std::nullopt, 0, 8000},
        {"no Content-Length", "noLength=1", 1, Ends::failed, DownloadOutcome::lengthMismatch, 0,
         8000},
        {"Content-Length 2^40", "length=1099511627776", 1, Ends::failed,
         DownloadOutcome::notSupported, 0, 8000},
        {"three redirects", "redirects=3", 4, Ends::complete, {}, 0, 8000},
        {"a redirect loop", "redirectLoop=1", 1, Ends::failed, DownloadOutcome::connection, 0,
         8000},
        {"403 with an HTML body", "fault=403", 1, Ends::failed, DownloadOutcome::httpStatus, 0,
         8000},
        {"404 with an HTML body", "fault=404", 4, Ends::failed, DownloadOutcome::httpStatus, 0,
         8000},
        {"200 with an HTML error page for an .mp3", "errorPage=1", 4, Ends::failed,
         DownloadOutcome::httpStatus, 0, 8000},
        {"429 with Retry-After 1",
         "fault=429&retryAfter=1&faultCount=1",
         1,
         Ends::complete,
         {},
         900,
         8000},
        {"503 with Retry-After 2",
         "fault=503&retryAfter=2&faultCount=1",
         4,
         Ends::complete,
         {},
         1900,
         8000},
        {"503 with Retry-After an hour: capped",
         "fault=503&retryAfter=3600&faultCount=1",
         1,
         Ends::complete,
         {},
         4500,
         9000},
        {"503 with a Retry-After date: the usual pause",
         "fault=503&faultCount=2&retryAfter=Fri,"
         "%2031%20Dec%201999%2023:59:59%20GMT",
         1,
         Ends::complete,
         {},
         400,
         3000},
        {"503 on every try", "fault=503", 1, Ends::failed, DownloadOutcome::httpStatus, 0, 8000},
    };
    int run = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path folder = dir_ / std::to_string(++run);
        fs::create_directories(folder);
        auto recorder = std::make_shared<Recorder>();
        const Text url =
            row.query.empty() ? refused : audioUrl(row.query + "&run=" + std::to_string(run));
        const auto began = Clock::now();
        {
            Download engine;
            ASSERT_TRUE(engine.addTask(task(url, row.connections, recorder, folder / "a.mp3")));
            ASSERT_TRUE(recorder->waitForEnd(milliseconds(row.atMostMs)));
        }
        const auto took = std::chrono::duration_cast<milliseconds>(Clock::now() - began).count();
        EXPECT_GE(took, row.atLeastMs);
        const DownloadOutcome outcome = *recorder->outcome;
        if (row.ends == Ends::declared) {
            EXPECT_EQ(outcome, DownloadOutcome::complete) << toText(outcome);
            ASSERT_EQ(recorder->written, kDeclared);
            const auto whole = fake_service::audioBytes(kBook, kChapter, kSize);
            EXPECT_TRUE(readFile(folder / "a.mp3") ==
                        std::vector<std::uint8_t>(whole.begin(), whole.begin() + kDeclared));
            continue;
        }
        if (row.ends == Ends::complete) {
            EXPECT_EQ(outcome, DownloadOutcome::complete) << toText(outcome);
            EXPECT_EQ(recorder->written, kSize);
        } else {
            EXPECT_NE(outcome, DownloadOutcome::complete);
            if (row.outcome) {
                EXPECT_EQ(outcome, *row.outcome) << toText(outcome);
            } else {
                EXPECT_TRUE(outcome == DownloadOutcome::timeout ||
                            outcome == DownloadOutcome::connection ||
                            outcome == DownloadOutcome::lengthMismatch ||
                            outcome == DownloadOutcome::httpStatus)
                    << toText(outcome);
            }
        }
        expectExactOrNothing(folder, row.ends == Ends::complete);
    }
}

TEST_F(EngineFaults, DiskFaultsFailWithoutReservingOrLeavingAnything) {
    // The engine refuses a size the disk cannot hold before creating the file: event 3 (the
    // file exists at its size) never comes.
    const fs::path regularFile = dir_ / "a-file";
    std::ofstream(regularFile) << "x";
    static const struct {
        const char* what;
        fs::path save;
        std::string query;
    } rows[] = {
        {"a folder under a regular file", regularFile / "a.mp3", "size=200000"},
        {"a folder that does not exist", dir_ / "missing" / "a.mp3", "size=200000"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto recorder = std::make_shared<Recorder>();
        {
            Download engine;
            ASSERT_TRUE(engine.addTask(task(audioUrl(row.query), 1, recorder, row.save)));
            ASSERT_TRUE(recorder->waitForEnd(milliseconds(8000)));
        }
        EXPECT_EQ(*recorder->outcome, DownloadOutcome::fileError) << toText(*recorder->outcome);
        EXPECT_FALSE(recorder->saw(kEventSizeKnown));
        EXPECT_FALSE(fs::exists(row.save));
        EXPECT_FALSE(fs::exists(row.save.string() + ".part"));
    }
}

TEST_F(EngineFaults, SmallOrReadOnlyDiskFailsWithoutLeavingAnything) {
    static const struct {
        const char* what;
        bool readOnly;
        int size;
    } rows[] = {
        {"a full disk (1 MB tmpfs, 2 MB file)", false, 2000000},
        {"a read-only disk", true, kSize},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path mountPoint = dir_ / (row.readOnly ? "ro" : "small");
        SmallDisk disk(mountPoint, "1m", row.readOnly);
        if (!disk.mounted()) GTEST_SKIP() << "needs root on Linux to mount a tmpfs";
        auto recorder = std::make_shared<Recorder>();
        {
            Download engine;
            ASSERT_TRUE(engine.addTask(task(audioUrl("size=" + std::to_string(row.size)), 4,
                                            recorder, mountPoint / "a.mp3")));
            ASSERT_TRUE(recorder->waitForEnd(milliseconds(8000)));
        }
        EXPECT_EQ(*recorder->outcome, DownloadOutcome::fileError) << toText(*recorder->outcome);
        EXPECT_FALSE(recorder->saw(kEventSizeKnown));
        expectExactOrNothing(mountPoint, false);
    }
}

TEST_F(EngineFaults, ExistingFilesAreKeptAndTheCallerDecides) {
    static const struct {
        const char* what;
        int existingSize;
        int answer;
        DownloadOutcome outcome;
        const char* savedAs;  // "" when nothing new is saved
    } rows[] = {
        {"same size, give up", kSize, kAnswerGiveUp, DownloadOutcome::fileExists, ""},
        {"other size, new name", 1234, kAnswerNewName, DownloadOutcome::complete, "a(1).mp3"},
        {"other size, overwrite", 1234, kAnswerOverwrite, DownloadOutcome::complete, "a.mp3"},
    };
    int run = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path folder = dir_ / std::to_string(++run);
        fs::create_directories(folder);
        const std::string existing(static_cast<std::size_t>(row.existingSize), 'e');
        std::ofstream(folder / "a.mp3", std::ios::binary) << existing;
        auto recorder = std::make_shared<Recorder>();
        recorder->answer18 = row.answer;
        {
            Download engine;
            ASSERT_TRUE(engine.addTask(task(audioUrl("x=1"), 4, recorder, folder / "a.mp3")));
            ASSERT_TRUE(recorder->waitForEnd(milliseconds(8000)));
        }
        EXPECT_EQ(*recorder->outcome, row.outcome) << toText(*recorder->outcome);
        const Text savedAs = row.savedAs;
        if (!savedAs.empty()) {
            EXPECT_TRUE(readFile(folder / savedAs) ==
                        fake_service::audioBytes(kBook, kChapter, kSize));
        }
        if (savedAs != "a.mp3") {
            const auto kept = readFile(folder / "a.mp3");
            EXPECT_EQ(std::string(kept.begin(), kept.end()), existing);
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), savedAs == "a(1).mp3" ? 2 : 1);
    }
}

TEST_F(EngineFaults, DestroyedAtAnyStageStopsSoonAndLeavesNothing) {
    static const struct {
        const char* what;
        std::string query;
        bool waitForBytes;  // destroy once bytes arrived; else once the first request was seen
    } rows[] = {
        {"mid-body", "rate=50000", true},
        {"before the answer", "latency=3000", false},
        {"in a stall", "stall=4&stallAfter=20000", true},
        {"in a Retry-After pause", "fault=503&retryAfter=4", false},
    };
    int run = 0;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        const fs::path folder = dir_ / std::to_string(++run);
        fs::create_directories(folder);
        auto recorder = std::make_shared<Recorder>();
        auto engine = std::make_unique<Download>();
        TaskParam param = task(audioUrl(row.query + "&run=" + std::to_string(run)), 4, recorder,
                               folder / "a.mp3");
        param.receiveTimeout = 20000;
        ASSERT_TRUE(engine->addTask(param));
        if (row.waitForBytes) {
            ASSERT_TRUE(recorder->waitForBytes(milliseconds(5000)));
        } else {
            std::this_thread::sleep_for(milliseconds(500));
        }
        const auto began = Clock::now();
        engine.reset();
        recorder->destroyed = true;
        EXPECT_LT(Clock::now() - began, milliseconds(param.stopWait + 500));
        // A task left to end on its own still removes its ".part": at once where closing the
        // request interrupts a blocked receive, else once the stall ends (Wine's WinHTTP).
        const auto deadline = Clock::now() + milliseconds(7000);
        while (!fs::is_empty(folder) && Clock::now() < deadline)
            std::this_thread::sleep_for(milliseconds(20));
        expectExactOrNothing(folder, false);
        EXPECT_EQ(recorder->callsAfterDestruction, 0);
    }
}

TEST_F(EngineFaults, TwoHundredQuickAddTaskDestroyCycles) {
    std::vector<std::shared_ptr<Recorder>> recorders;
    const auto began = Clock::now();
    for (int cycle = 0; cycle < 200; ++cycle) {
        auto recorder = std::make_shared<Recorder>();
        recorders.push_back(recorder);
        Download engine;
        ASSERT_TRUE(engine.addTask(task(audioUrl("rate=100000&cycle=" + std::to_string(cycle)),
                                        cycle % 4 + 1, recorder, dir_ / "a.mp3")));
        if (cycle % 2) std::this_thread::sleep_for(milliseconds(cycle % 7));
        // A busy engine refuses a second task without any event for it.
        EXPECT_FALSE(engine.addTask(task(audioUrl("x=2"), 1, recorder, dir_ / "b.mp3")));
    }
    for (auto& recorder : recorders) recorder->destroyed = true;
    EXPECT_LT(Clock::now() - began, std::chrono::seconds(60));
    const auto deadline = Clock::now() + milliseconds(3000);
    while (!fs::is_empty(dir_) && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(20));
    expectExactOrNothing(dir_, false);
    std::this_thread::sleep_for(milliseconds(200));
    for (auto& recorder : recorders) EXPECT_EQ(recorder->callsAfterDestruction, 0);
}

}  // namespace
}  // namespace zelbrin
