// The download engine against the project's fake service on loopback: byte-exact files, the
// order and values of events 3, 16, 4 and 18, retries, fallbacks and destruction.
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <vector>

#include "download/download.h"
#include "download/download_events.h"
#include "download/part_file.h"
#include "download/range_plan.h"
#include "download/task_param.h"
#include "fake_service.h"

namespace zelbrin {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr std::int64_t kBook = 7;
constexpr std::int64_t kChapter = 70001;

struct Event {
    int code;
    std::intptr_t worker;
    int value;
    int value2;
};

// Collects a task's events; answers event 18 with `answer18`.
struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Event> events;
    int answer18 = kAnswerGiveUp;

    EventCallback callback() {
        return [this](int code, std::intptr_t worker, int value, int value2, std::intptr_t) {
            std::lock_guard lock(mutex);
            events.push_back({code, worker, value, value2});
            changed.notify_all();
            return code == kEventFileExists ? answer18 : 0;
        };
    }
    bool waitFor(int code, milliseconds limit = milliseconds(60000)) {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, limit, [&] {
            for (const Event& e : events)
                if (e.code == code) return true;
            return false;
        });
    }
    std::int64_t written() {
        std::lock_guard lock(mutex);
        std::int64_t sum = 0;
        for (const Event& e : events)
            if (e.code == kEventWritten) sum += e.value;
        return sum;
    }
    std::vector<Event> snapshot() {
        std::lock_guard lock(mutex);
        return events;
    }
};

Text gbkPath(const fs::path& path) { return path.string(); }  // the test paths are ASCII

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Event 3 with the size, then only 16s adding up to it, then 4 with the size and "complete".
void expectCompleteOrder(const std::vector<Event>& all, int size) {
    std::vector<Event> events;
    for (const Event& e : all)
        if (e.code != kEventFileExists) events.push_back(e);
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front().code, kEventSizeKnown);
    EXPECT_EQ(events.front().value, size);
    EXPECT_EQ(events.back().code, kEventTaskEnded);
    EXPECT_EQ(events.back().value, size);
    EXPECT_EQ(events.back().value2, static_cast<int>(DownloadOutcome::complete))
        << toText(static_cast<DownloadOutcome>(events.back().value2));
    std::int64_t sum = 0;
    for (std::size_t i = 1; i + 1 < events.size(); ++i) {
        EXPECT_EQ(events[i].code, kEventWritten);
        EXPECT_GT(events[i].value, 0);
        EXPECT_LE(events[i].value, 20480);  // blocks of at most readSize
        sum += events[i].value;
    }
    EXPECT_EQ(sum, size);
}

class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake_service::Catalogue catalogue;
        fake_service::Book book;
        book.id = kBook;
        book.name = "book";
        book.chapters.push_back({kChapter, "chapter", 307200, {}});
        book.total = 1;
        catalogue.books.push_back(book);
        service_ = std::make_unique<fake_service::FakeService>(catalogue);
        ASSERT_TRUE(service_->start());
        dir_ = fs::temp_directory_path() /
               ("zelbrin-engine-" + std::to_string(Clock::now().time_since_epoch().count()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
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
    std::string audioPath() const {
        return "/audio/" + std::to_string(kBook) + "/" + std::to_string(kChapter) + ".mp3";
    }
    TaskParam task(const std::string& query, int connections, Recorder& recorder,
                   const std::string& name = "a.mp3") const {
        TaskParam param = defaultTaskParam();
        param.url = audioUrl(query);
        param.savePath = gbkPath(dir_ / name);
        param.connections = connections;
        param.receiveTimeout = 5000;
        param.connectTimeout = 5000;
        param.eventCallback = recorder.callback();
        return param;
    }
    // Runs one task to its event 4.
    std::vector<Event> run(const TaskParam& param, Recorder& recorder) {
        Download engine;
        EXPECT_TRUE(engine.addTask(param));
        EXPECT_TRUE(recorder.waitFor(kEventTaskEnded));
        return recorder.snapshot();
    }
    void expectNothingAt(const std::string& name) {
        EXPECT_FALSE(fs::exists(dir_ / name));
        EXPECT_FALSE(fs::exists(dir_ / (name + ".part")));
    }

    std::unique_ptr<fake_service::FakeService> service_;
    fs::path dir_;
};

TEST_F(EngineTest, WritesByteExactFilesAndReportsInOrder) {
    static const struct {
        int size;
        int connections;
        const char* knobs;
    } cases[] = {
        {1, 1, ""},
        {10 * 1024 + 1, 10, ""},
        {3 * 1024 * 1024, 10, ""},
        {3 * 1024 * 1024, 4, "&ignoreRange=1"},  // 200 to every range: one stream
        {3 * 1024 * 1024, 4, "&badRange=1"},     // Content-Range off by 1000: one stream
        {300000, 3, "&redirects=3"},
        {1024 * 1024, 4, "&closeAfter=100000&closeMode=once"},  // retried from the last byte
    };
    int run_ = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + " bytes, " + std::to_string(c.connections) +
                     " connections " + c.knobs);
        Recorder recorder;
        std::string name = "f" + std::to_string(run_++) + ".mp3";
        auto events = run(task("size=" + std::to_string(c.size) + c.knobs + "&run=" + name,
                               c.connections, recorder, name),
                          recorder);
        expectCompleteOrder(events, c.size);
        EXPECT_EQ(readFile(dir_ / name), fake_service::audioBytes(kBook, kChapter, c.size));
        EXPECT_FALSE(fs::exists(dir_ / (name + ".part")));
    }
}

TEST_F(EngineTest, SplitsLargeFileOverTenConnections) {
    const int size = 20 * 1024 * 1024;
    Recorder recorder;
    // A per-connection rate keeps the first connection busy while the others open.
    auto events =
        run(task("size=" + std::to_string(size) + "&rate=8000000", 10, recorder), recorder);
    expectCompleteOrder(events, size);
    EXPECT_EQ(readFile(dir_ / "a.mp3"), fake_service::audioBytes(kBook, kChapter, size));
    EXPECT_GE(service_->rangeCount(audioPath()), 9) << service_->statsJson();
    std::set<std::intptr_t> writers;
    for (const Event& e : events)
        if (e.code == kEventWritten) writers.insert(e.worker);
    EXPECT_GE(writers.size(), 5u);
}

TEST_F(EngineTest, SlowConnectionsRangeIsTakenOver) {
    const int size = 4 * 1024 * 1024;
    // The third connection crawls at 2 KB/s: waiting for its range would take minutes.
    const std::string knobs = "size=" + std::to_string(size) +
                              "&rate=2000000&stragglerEvery=1000&stragglerIndex=3"
                              "&stragglerRate=2048";
    Recorder recorder;
    Download engine;
    ASSERT_TRUE(engine.addTask(task(knobs, 4, recorder)));
    ASSERT_TRUE(recorder.waitFor(kEventTaskEnded, milliseconds(20000)));
    expectCompleteOrder(recorder.snapshot(), size);
    EXPECT_EQ(readFile(dir_ / "a.mp3"), fake_service::audioBytes(kBook, kChapter, size));
}

TEST(RangePlan, TakeOverEndsTheOwnersRangeWhereItStands) {
    RangePlan plan(1000, 10);
    plan.assignWhole(0);
    EXPECT_EQ(plan.claim(0, 0, 300), 300);
    EXPECT_FALSE(plan.takeOver(0, 0));
    ASSERT_TRUE(plan.takeOver(1, 0));
    EXPECT_EQ(plan.claim(0, 300, 100), 0);  // the old owner's next block is not its own
    auto taken = plan.segmentOf(1);
    ASSERT_TRUE(taken);
    EXPECT_EQ(taken->pos, 300);
    EXPECT_EQ(taken->end, 1000);
    EXPECT_TRUE(plan.takeOver(2, 1));
    EXPECT_FALSE(plan.takeOver(2, 1));  // a worker holds one range at a time
    ASSERT_EQ(plan.active().size(), 1u);
    EXPECT_EQ(plan.active()[0].owner, 2);
}

TEST_F(EngineTest, FailuresEndWithOutcomeAndLeaveNoFile) {
    static const struct {
        const char* knobs;
        int value;
        DownloadOutcome outcome;
        bool sizeKnown;
    } cases[] = {
        {"fault=404", 0, DownloadOutcome::httpStatus, false},
        {"fault=403", 0, DownloadOutcome::httpStatus, false},
        {"fault=503", 0, DownloadOutcome::httpStatus, false},  // after the retries
        {"noLength=1", -1, DownloadOutcome::lengthMismatch, false},
        {"size=300000&closeAfter=20000", 300000, DownloadOutcome::connection, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.knobs);
        Recorder recorder;
        auto events = run(task(c.knobs, 1, recorder), recorder);
        ASSERT_FALSE(events.empty());
        const Event& last = events.back();
        EXPECT_EQ(last.code, kEventTaskEnded);
        EXPECT_EQ(last.value, c.value);
        EXPECT_EQ(last.value2, static_cast<int>(c.outcome))
            << toText(static_cast<DownloadOutcome>(last.value2));
        bool sawSize = false;
        for (const Event& e : events) sawSize = sawSize || e.code == kEventSizeKnown;
        EXPECT_EQ(sawSize, c.sizeKnown);
        if (!c.sizeKnown) {
            EXPECT_EQ(events.size(), 1u);
        }
        expectNothingAt("a.mp3");
    }
}

TEST_F(EngineTest, StallLongerThanReceiveTimeoutIsRetried) {
    const int size = 120000;
    Recorder recorder;
    TaskParam param = task("size=120000&stall=4&stallAfter=50000", 1, recorder);
    param.receiveTimeout = 1000;
    auto events = run(param, recorder);
    expectCompleteOrder(events, size);
    EXPECT_EQ(readFile(dir_ / "a.mp3"), fake_service::audioBytes(kBook, kChapter, size));
    EXPECT_GE(service_->requestCount(audioPath()), 2);
}

TEST_F(EngineTest, OtherSchemesAreAcceptedButNotTransferred) {
    for (const char* scheme : {"ftp", "mms", "mmst", "rtsp", "FTP"}) {
        SCOPED_TRACE(scheme);
        Recorder recorder;
        TaskParam param = task("", 1, recorder);
        param.url = std::string(scheme) + "://127.0.0.1/a.mp3";
        auto events = run(param, recorder);
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].code, kEventTaskEnded);
        EXPECT_EQ(events[0].value2, static_cast<int>(DownloadOutcome::notSupported));
        EXPECT_EQ(toText(static_cast<DownloadOutcome>(events[0].value2)), "not supported");
        expectNothingAt("a.mp3");
    }
}

TEST_F(EngineTest, RefusesWithoutAnyEvent) {
    static const char* const urls[] = {
        "",
        "gopher://127.0.0.1/a.mp3",
        "127.0.0.1/a.mp3",
        "http://127.0.0.1",
        "http:///a.mp3",
        "https:127.0.0.1/a.mp3",
    };
    Recorder recorder;
    Download engine;
    for (const char* url : urls) {
        SCOPED_TRACE(url);
        TaskParam param = task("", 1, recorder);
        param.url = url;
        EXPECT_FALSE(engine.addTask(param));
    }
    // A task already attached: the second is refused and the first goes on.
    TaskParam running = task("size=200000&rate=200000", 1, recorder);
    ASSERT_TRUE(engine.addTask(running));
    EXPECT_FALSE(engine.addTask(task("size=10", 1, recorder, "b.mp3")));
    ASSERT_TRUE(recorder.waitFor(kEventTaskEnded));
    expectCompleteOrder(recorder.snapshot(), 200000);
    EXPECT_FALSE(fs::exists(dir_ / "b.mp3"));
}

TEST_F(EngineTest, HttpsAddressIsAccepted) {
    Recorder recorder;
    TaskParam param = task("", 1, recorder);
    // Nothing listens on port 1; what matters is that the task runs and ends with event 4.
    param.url = "https://127.0.0.1:1/audio/7/70001.mp3";
    param.connectTimeout = 1000;
    param.receiveTimeout = 1000;
    auto events = run(param, recorder);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].code, kEventTaskEnded);
    EXPECT_NE(events[0].value2, static_cast<int>(DownloadOutcome::notSupported));
}

TEST_F(EngineTest, TakeReceivedBytesCountsBodiesOnce) {
    Download idle;
    EXPECT_EQ(idle.takeReceivedBytes(), 0);

    Recorder recorder;
    Download engine;
    // 50000 bytes, then a long pause in which nothing arrives.
    ASSERT_TRUE(engine.addTask(task("size=100000&stall=10&stallAfter=50000", 1, recorder)));
    auto deadline = Clock::now() + milliseconds(20000);
    while (recorder.written() < 50000 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_EQ(recorder.written(), 50000);
    EXPECT_EQ(engine.takeReceivedBytes(), 50000);
    EXPECT_EQ(engine.takeReceivedBytes(), 0);
}

TEST_F(EngineTest, DestroyingMidTransferStopsSoonAndLeavesNoFile) {
    Recorder recorder;
    TaskParam param = task("size=3000000&rate=100000", 4, recorder);
    param.stopWait = 1000;
    auto engine = std::make_unique<Download>();
    ASSERT_TRUE(engine->addTask(param));
    auto deadline = Clock::now() + milliseconds(20000);
    while (recorder.written() < 100000 && Clock::now() < deadline)
        std::this_thread::sleep_for(milliseconds(10));
    ASSERT_GE(recorder.written(), 100000);
    auto started = Clock::now();
    engine.reset();
    EXPECT_LT(Clock::now() - started, milliseconds(param.stopWait + 3000));
    EXPECT_FALSE(fs::exists(dir_ / "a.mp3"));
    auto events = recorder.snapshot();
    if (events.back().code == kEventTaskEnded) {
        EXPECT_EQ(events.back().value2, static_cast<int>(DownloadOutcome::stopped));
        EXPECT_GE(events.back().value, 100000);  // the bytes received
        EXPECT_FALSE(fs::exists(dir_ / "a.mp3.part"));
    }
}

TEST_F(EngineTest, ExistingFileAsksTheCaller) {
    static const struct {
        int answer;
        const char* written;  // where the download lands; "" when it gives up
    } cases[] = {
        {kAnswerNewName, "a(2).mp3"},  // a(1).mp3 is taken too
        {kAnswerGiveUp, ""},
        {7, ""},
        {kAnswerOverwrite, "a.mp3"},
    };
    const int size = 50000;
    const std::vector<std::uint8_t> old(1234, 'x');
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        for (const char* name : {"a.mp3", "a(1).mp3"}) {
            std::ofstream(dir_ / name, std::ios::binary)
                .write(reinterpret_cast<const char*>(old.data()), old.size());
        }
        fs::remove(dir_ / "a(2).mp3");
        Recorder recorder;
        recorder.answer18 = c.answer;
        auto events = run(task("size=50000", 2, recorder), recorder);
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.front().code, kEventFileExists);
        EXPECT_EQ(events.front().value, 1234);
        EXPECT_EQ(events.front().value2, size);
        EXPECT_NE(events.front().worker, 0);
        if (*c.written) {
            expectCompleteOrder(events, size);
            EXPECT_EQ(readFile(dir_ / c.written), fake_service::audioBytes(kBook, kChapter, size));
        } else {
            ASSERT_EQ(events.size(), 2u);
            EXPECT_EQ(events[1].code, kEventTaskEnded);
            EXPECT_EQ(events[1].value2, static_cast<int>(DownloadOutcome::fileExists));
            EXPECT_EQ(toText(DownloadOutcome::fileExists), "file exists");
        }
        if (std::string(c.written) != "a.mp3") {
            EXPECT_EQ(readFile(dir_ / "a.mp3"), old);
        }
    }
}

// Paths past the 259 bytes of a Windows MAX_PATH still work (the engine adds "\\?\" there).
TEST_F(EngineTest, LongSavePathWorks) {
    fs::path deep = dir_;
    for (int i = 0; i < 4; ++i) deep /= std::string(70, static_cast<char>('a' + i));
    fs::create_directories(deep);
    Recorder recorder;
    TaskParam param = task("size=30000", 2, recorder);
    param.savePath = gbkPath(deep / "chapter.mp3");
    ASSERT_GT(param.savePath.size(), 300u);
    auto events = run(param, recorder);
    expectCompleteOrder(events, 30000);
    EXPECT_EQ(readFile(enginePath(param.savePath)),
              fake_service::audioBytes(kBook, kChapter, 30000));
    // The test's own clean-up needs the long form too.
    fs::remove(enginePath(param.savePath));
    for (fs::path d = deep; d != dir_; d = d.parent_path()) fs::remove(enginePath(gbkPath(d)));
}

// The fake service echoes a request in the body, so the request itself can be checked.
TEST_F(EngineTest, SendsRefererAndUsesProxy) {
    static const struct {
        std::optional<Text> referer;
        const char* expected;  // the Referer value sent
    } cases[] = {
        {std::nullopt, "http://audio.invalid/deep"},
        {Text("http://x/y"), "http://x/y"},
        {Text(""), ""},
    };
    for (const auto& c : cases) {
        Recorder recorder;
        TaskParam param = task("", 1, recorder);
        // A host that never resolves: only the proxy can answer.
        param.url = "http://audio.invalid/deep/echo";
        param.referer = c.referer;
        // Through the service as a proxy: it answers an absolute-form request like /echo.
        param.httpProxy = "127.0.0.1:" + std::to_string(service_->port());
        auto events = run(param, recorder);
        ASSERT_FALSE(events.empty());
        ASSERT_EQ(events.back().value2, 0);
        auto body = readFile(dir_ / "a.mp3");
        std::string text(body.begin(), body.end());
        SCOPED_TRACE(text);
        // WinHTTP writes the default port into the request line, libcurl does not.
        EXPECT_EQ(text.find("GET http://audio.invalid"), 0u);
        EXPECT_NE(text.find("/deep/echo HTTP/1.1\r\n"), std::string::npos);
        auto line = text.find("\r\nReferer:");
        ASSERT_NE(line, std::string::npos);
        auto valueStart = text.find_first_not_of(' ', line + 10);
        EXPECT_EQ(text.substr(valueStart, text.find("\r\n", line + 2) - valueStart), c.expected);
        fs::remove(dir_ / "a.mp3");
    }
}

TEST(DownloadOutcome, HasTextForEveryValue) {
    static const struct {
        DownloadOutcome outcome;
        const char* text;
    } cases[] = {
        {DownloadOutcome::complete, "complete"},
        {DownloadOutcome::httpStatus, "HTTP error status"},
        {DownloadOutcome::connection, "connection failed"},
        {DownloadOutcome::timeout, "timed out"},
        {DownloadOutcome::fileError, "file could not be written"},
        {DownloadOutcome::stopped, "stopped"},
        {DownloadOutcome::lengthMismatch, "length mismatch"},
        {DownloadOutcome::notSupported, "not supported"},
        {DownloadOutcome::fileExists, "file exists"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(toText(c.outcome), c.text);
    }
}

TEST(TaskParam, DefaultsOfTheRecord) {
    TaskParam p = defaultTaskParam();
    EXPECT_EQ(p.options, 1);
    EXPECT_EQ(p.ftpUser, Text("anonymous"));
    ASSERT_TRUE(p.ftpPassword.has_value());
    EXPECT_EQ(p.ftpPassword->size(), 17u);
    EXPECT_NE(p.ftpPassword->find('@'), Text::npos);
    EXPECT_EQ(p.connections, 1);
    EXPECT_EQ(p.rateLimit, 0);
    EXPECT_EQ(p.connectTimeout, 20000);
    EXPECT_EQ(p.sendTimeout, 20000);
    EXPECT_EQ(p.receiveTimeout, 20000);
    EXPECT_EQ(p.stopWait, 1000);
    EXPECT_EQ(p.readSize, 20480);
    EXPECT_EQ(p.sendBlockSize, 1024);
    EXPECT_FALSE(p.messageCallback);
    EXPECT_FALSE(p.eventCallback);
    EXPECT_EQ(p.ftpTransferType, 1);
    EXPECT_EQ(p.binaryExtensions, ".exe|.rar|.zip|.gif|.jpg|.mp3|.rm");
    EXPECT_FALSE(p.httpProxy.has_value());
    EXPECT_FALSE(p.referer.has_value());
}

}  // namespace
}  // namespace zelbrin
