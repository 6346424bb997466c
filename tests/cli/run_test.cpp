// zelbrin-cli end to end, in-process against the local fake service: listing, whole books byte
// for byte, ranges, numbering, reruns, Ctrl-C, failures and exit codes.
#include "cli/run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "download/paths.h"
#include "fake_service.h"
#include "text/charset.h"

namespace zelbrin::cli {
namespace {

namespace fake = fake_service;

constexpr std::int64_t kBook = 901;
constexpr std::int64_t kTwelve = 902;
constexpr std::int64_t kFailing = 903;
constexpr std::int64_t kSlow = 904;
constexpr std::int64_t kUnknown = 999;

struct ChapterSpec {
    std::int64_t resId;
    Text name;  // GBK, like every literal here
    std::uint64_t size;
    fake::Knobs knobs;
};

fake::Book book(std::int64_t id, const Text& name, const std::vector<ChapterSpec>& chapters) {
    fake::Book b;
    b.id = id;
    b.name = gbkToUtf8(name);
    b.author = gbkToUtf8("作者");
    b.narrator = gbkToUtf8("主播");
    b.total = static_cast<int>(chapters.size());
    for (const auto& c : chapters)
        b.chapters.push_back({c.resId, gbkToUtf8(c.name), c.size, c.knobs});
    return b;
}

const std::vector<ChapterSpec>& bookChapters() {
    static const std::vector<ChapterSpec> chapters = {{1, "第一章", 70001, {}},
                                                      {2, "画皮", 1, {}},
                                                      {3, "画皮", 300000, {}},
                                                      {4, "第四章", 4096, {}}};
    return chapters;
}

std::vector<ChapterSpec> twelveChapters() {
    static const char* names[] = {"第一章", "第二章", "第三章", "第四章", "第五章",   "第六章",
                                  "第七章", "第八章", "第九章", "第十章", "第十一章", "第十二章"};
    std::vector<ChapterSpec> chapters;
    for (int k = 0; k < 12; ++k) chapters.push_back({k + 1, names[k], 100u + k, {}});
    return chapters;
}

const std::vector<ChapterSpec>& slowChapters() {
    // Chapter 2 comes at 100 KB/s over one connection: long enough to be stopped halfway.
    static const std::vector<ChapterSpec> chapters = {
        {1, "快章", 5000, {}}, {2, "慢章", 150000, {{"rate", "100000"}}}, {3, "尾章", 3000, {}}};
    return chapters;
}

fake::Catalogue testBooks() {
    fake::Catalogue catalogue;
    catalogue.books.push_back(book(kBook, "测试书", bookChapters()));
    catalogue.books.push_back(book(kTwelve, "十二章", twelveChapters()));
    catalogue.books.push_back(book(kFailing, "坏书",
                                   {{1, "好章", 2048, {}},
                                    {2, "不存在", 2048, {{"fault", "404"}}},
                                    {3, "无地址", 2048, {{"lookup", "nodata"}}},
                                    {4, "尾章", 2048, {}}}));
    catalogue.books.push_back(book(kSlow, "慢书", slowChapters()));
    return catalogue;
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

struct Result {
    int status = -1;
    Text out;
    Text err;
};

class CliRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.start(0));
        root_ =
            std::filesystem::temp_directory_path() /
            ("zelbrin-cli-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
    }

    void TearDown() override {
        service_.stop();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // The program's own form of the output folder: code page 936 text.
    Text rootText() const {
        return utf8ToGbk(reinterpret_cast<const char*>(root_.u8string().c_str()));
    }

    Result run(std::vector<Text> arguments, bool withService = true) {
        if (withService) {
            arguments.insert(arguments.end(),
                             {"--service-base", service_.baseUrl(), "-o", rootText()});
        }
        TextOutput out;
        TextOutput err;
        Result result;
        result.status = runCli(arguments, out, err, stop_);
        result.out = out.text();
        result.err = err.text();
        return result;
    }

    std::filesystem::path file(const Text& bookName, const Text& fileName) const {
        return nativePath(rootText() + "\\" + bookName + "\\" + fileName);
    }

    std::vector<std::filesystem::path> filesOf(const Text& bookName) const {
        std::vector<std::filesystem::path> files;
        const auto folder = nativePath(rootText() + "\\" + bookName);
        if (!std::filesystem::exists(folder)) return files;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            files.push_back(entry.path());
        return files;
    }

    void expectChapter(std::int64_t bookId, std::int64_t resId, std::uint64_t size,
                       const std::filesystem::path& path) const {
        SCOPED_TRACE(path.string());
        ASSERT_TRUE(std::filesystem::exists(path));
        EXPECT_TRUE(readFile(path) == fake::audioBytes(bookId, resId, size));
    }

    int audioRequests(std::int64_t bookId, std::int64_t resId) const {
        return service_.requestCount("/audio/" + std::to_string(bookId) + "/" +
                                     std::to_string(resId) + ".mp3");
    }

    fake::FakeService service_{testBooks()};
    std::filesystem::path root_;
    std::atomic<bool> stop_{false};
};

TEST_F(CliRunTest, ListPrintsTheBookAndItsChaptersAndDownloadsNothing) {
    const Result r = run({std::to_string(kBook), "--list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "book 901: 测试书\nauthor: 作者\nnarrator: 主播\nchapters: 4 declared, 4 listed\n"
              "1  1  第一章\n2  2  画皮\n3  3  画皮\n4  4  第四章\n");
    EXPECT_TRUE(filesOf("测试书").empty());
    EXPECT_EQ(service_.statsJson().find("/audio/"), std::string::npos);
}

TEST_F(CliRunTest, ListingTwelveChaptersKeepsTheBookOrderAcrossPages) {
    const Result r = run({std::to_string(kTwelve), "--list"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find(" 9  9  第九章\n10  10  第十章\n11  11  第十一章\n12  12  第十二章\n"),
              Text::npos)
        << r.out;
}

TEST_F(CliRunTest, WholeBookByteForByteWithDuplicateNamesKeptApart) {
    const Result r = run({std::to_string(kBook)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("4 of 4 chapters complete"), Text::npos) << r.out;
    const auto& c = bookChapters();
    expectChapter(kBook, 1, c[0].size, file("测试书", "第一章.mp3"));
    expectChapter(kBook, 2, c[1].size, file("测试书", "画皮.mp3"));
    expectChapter(kBook, 3, c[2].size, file("测试书", "画皮(1).mp3"));
    expectChapter(kBook, 4, c[3].size, file("测试书", "第四章.mp3"));
    EXPECT_EQ(filesOf("测试书").size(), 4u);
}

TEST_F(CliRunTest, RerunSkipsCompleteChaptersWithoutFetchingTheirAudio) {
    ASSERT_EQ(run({std::to_string(kBook)}).status, 0);
    std::vector<int> before;
    for (int resId = 1; resId <= 4; ++resId) before.push_back(audioRequests(kBook, resId));

    const Result r = run({std::to_string(kBook)});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("4 of 4 chapters complete (4 already complete), 0 B downloaded"),
              Text::npos)
        << r.out;
    EXPECT_NE(r.out.find("already complete [3] 画皮"), Text::npos) << r.out;
    // The first answer of each chapter tells its size; no body is fetched again.
    for (int resId = 1; resId <= 4; ++resId) {
        EXPECT_EQ(audioRequests(kBook, resId), before[resId - 1] + 1) << resId;
    }
    EXPECT_EQ(filesOf("测试书").size(), 4u);
}

TEST_F(CliRunTest, RangesAndNumbersPickAndNameChapters) {
    struct SavedFile {
        Text name;
        int resId;  // chapter n of the twelve is resource n, of 99 + n bytes
    };
    static const struct {
        std::vector<Text> options;
        std::vector<SavedFile> files;  // everything the book folder holds afterwards, sorted
        const char* warning;           // a piece of standard error, or ""
    } cases[] = {
        {{"--from", "7", "--to", "7", "--number"}, {{"07 第七章.mp3", 7}}, ""},
        {{"--from=11", "--number"}, {{"11 第十一章.mp3", 11}, {"12 第十二章.mp3", 12}}, ""},
        {{"--to", "2"}, {{"第一章.mp3", 1}, {"第二章.mp3", 2}}, ""},
        {{"--from", "15"},
         {{"第十二章.mp3", 12}},
         "--from 15 is outside the book's chapters 1..12; using 12"},
        {{"--from", "-3", "--to", "1"}, {{"第一章.mp3", 1}}, "--from -3 is outside"},
    };
    for (const auto& c : cases) {
        std::filesystem::remove_all(root_);
        std::vector<Text> arguments = c.options;
        arguments.push_back(std::to_string(kTwelve));
        Text joined;
        for (const auto& a : arguments) joined += a + " ";
        SCOPED_TRACE(joined);

        const Result r = run(arguments);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_NE(r.err.find(c.warning), Text::npos) << r.err;
        std::vector<Text> names;
        for (const auto& path : filesOf("十二章")) {
            names.push_back(
                utf8ToGbk(reinterpret_cast<const char*>(path.filename().u8string().c_str())));
        }
        std::sort(names.begin(), names.end());
        std::vector<Text> expected;
        for (const auto& saved : c.files) {
            expected.push_back(saved.name);
            expectChapter(kTwelve, saved.resId, 99u + static_cast<unsigned>(saved.resId),
                          file("十二章", saved.name));
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(names, expected);
    }
}

TEST_F(CliRunTest, FailedChaptersAreListedAndTheRestIsSaved) {
    const Result r = run({std::to_string(kFailing), "--retries", "2"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("2 of 4 chapters complete"), Text::npos) << r.out;
    EXPECT_NE(r.out.find("2 failed:\n"
                         "  [2] 不存在: HTTP error status (2 tries)\n"
                         "  [3] 无地址: the service gave no audio address (2 tries)\n"),
              Text::npos)
        << r.out;
    EXPECT_EQ(service_.requestCount("/ajax/path/4/903/3"), 2);
    expectChapter(kFailing, 1, 2048, file("坏书", "好章.mp3"));
    expectChapter(kFailing, 4, 2048, file("坏书", "尾章.mp3"));
    // Nothing of a failed chapter stays behind, not even a partial file.
    EXPECT_EQ(filesOf("坏书").size(), 2u);
}

TEST_F(CliRunTest, UnknownBookEndsWithThree) {
    const Result r = run({std::to_string(kUnknown)});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("book 999 was not found"), Text::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(root_));
}

TEST_F(CliRunTest, BadArgumentsEndWithTwoAndTheUsage) {
    for (const std::vector<Text>& arguments :
         {std::vector<Text>{}, {"7", "--connections", "99"}, {"--nonsense", "7"}}) {
        const Result r = run(arguments, false);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: zelbrin-cli [options] BOOK_ID"), Text::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    const Result help = run({"--help"}, false);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: zelbrin-cli"), Text::npos);
}

TEST_F(CliRunTest, JsonLinesParseAndTellEveryEvent) {
    const Result r = run({std::to_string(kFailing), "--json", "--retries", "1"});
    EXPECT_EQ(r.status, 1);
    std::vector<nlohmann::json> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = r.out.find('\n', start)) != Text::npos; start = end + 1) {
        const auto line =
            nlohmann::json::parse(gbkToUtf8(r.out.substr(start, end - start)), nullptr, false);
        ASSERT_FALSE(line.is_discarded()) << r.out.substr(start, end - start);
        lines.push_back(line);
    }
    EXPECT_EQ(start, r.out.size());
    std::vector<std::string> events;
    for (const auto& line : lines) {
        if (line["event"] != "progress") events.push_back(line["event"]);
    }
    EXPECT_EQ(events, (std::vector<std::string>{"started", "done", "started", "failed", "started",
                                                "failed", "started", "done", "summary"}));
    EXPECT_EQ(lines.front()["name"], reinterpret_cast<const char*>(u8"好章"));
    EXPECT_EQ(lines.front()["number"], 1);
    const auto& summary = lines.back();
    EXPECT_EQ(summary["complete"], 2);
    EXPECT_EQ(summary["failed"], 2);
    EXPECT_EQ(summary["stopped"], false);
}

TEST_F(CliRunTest, StopMidChapterKeepsNothingIncompleteAndARerunFinishes) {
    const std::string slowPath = "/audio/" + std::to_string(kSlow) + "/2.mp3";
    // Ctrl-C while chapter 2 is on its way: its first request has been answered a while.
    std::thread pressCtrlC([&] {
        for (int k = 0; k < 500 && service_.requestCount(slowPath) == 0; ++k)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        stop_ = true;
    });
    const Result stopped = run({std::to_string(kSlow), "-c", "1"});
    pressCtrlC.join();
    EXPECT_EQ(stopped.status, 130);
    EXPECT_NE(stopped.out.find("stopped during [2] 慢章"), Text::npos) << stopped.out;
    EXPECT_NE(stopped.out.find("1 of 3 chapters complete"), Text::npos) << stopped.out;
    // Chapter 1 whole, nothing else: no partial file, nothing under a final name.
    const auto files = filesOf("慢书");
    ASSERT_EQ(files.size(), 1u);
    expectChapter(kSlow, 1, 5000, file("慢书", "快章.mp3"));

    stop_ = false;
    const int chapterOneBefore = audioRequests(kSlow, 1);
    const Result rerun = run({std::to_string(kSlow), "-c", "1"});
    EXPECT_EQ(rerun.status, 0) << rerun.err;
    EXPECT_NE(rerun.out.find("3 of 3 chapters complete (1 already complete)"), Text::npos)
        << rerun.out;
    EXPECT_EQ(audioRequests(kSlow, 1), chapterOneBefore + 1);
    const auto& c = slowChapters();
    expectChapter(kSlow, 1, c[0].size, file("慢书", "快章.mp3"));
    expectChapter(kSlow, 2, c[1].size, file("慢书", "慢章.mp3"));
    expectChapter(kSlow, 3, c[2].size, file("慢书", "尾章.mp3"));
    EXPECT_EQ(filesOf("慢书").size(), 3u);
}

}  // namespace
}  // namespace zelbrin::cli
