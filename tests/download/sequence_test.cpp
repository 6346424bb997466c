// The download sequence end to end over the headless controls: lookup, 开始下载, the timers
// ticking, files checked byte for byte against the local fake service.
#include "download/sequence.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "app/headless_controls.h"
#include "app/shared_state.h"
#include "catalogue/catalogue.h"
#include "download/download.h"
#include "download/paths.h"
#include "download/safe_name.h"
#include "fake_service.h"
#include "text/charset.h"

namespace zelbrin {
namespace {

namespace fake = fake_service;

constexpr std::int64_t kThreeChapters = 801;
constexpr std::int64_t kOneChapter = 802;
constexpr std::int64_t kFailing = 803;
constexpr std::int64_t kDuplicates = 804;
constexpr std::int64_t kHostile = 805;

// Names are given to the service in UTF-8 and reach the program as GBK.
fake::Chapter chapter(std::int64_t resId, const Text& gbkName, std::uint64_t size,
                      fake::Knobs knobs = {}) {
    return {resId, gbkToUtf8(gbkName), size, std::move(knobs)};
}

fake::Book book(std::int64_t id, const Text& gbkName, std::vector<fake::Chapter> chapters) {
    fake::Book b;
    b.id = id;
    b.name = gbkToUtf8(gbkName);
    b.author = gbkToUtf8("作者");
    b.narrator = gbkToUtf8("主播");
    b.total = static_cast<int>(chapters.size());
    b.chapters = std::move(chapters);
    return b;
}

fake::Catalogue testBooks() {
    fake::Catalogue catalogue;
    catalogue.books.push_back(book(kThreeChapters, "三章书",
                                   {chapter(1, "第一章", 70001), chapter(2, "第二章", 1),
                                    chapter(3, "第三章", 300000)}));
    catalogue.books.push_back(book(kOneChapter, "单章书", {chapter(1, "独章", 4096)}));
    catalogue.books.push_back(book(
        kFailing, "坏书",
        {chapter(1, "好章", 2048), chapter(2, "不存在", 2048, {{"fault", "404"}}),
         chapter(3, "无地址", 2048, {{"lookup", "nodata"}}),
         chapter(4, "总断线", 200000, {{"closeAfter", "1000"}, {"closeMode", "always"}}),
         chapter(5, "尾章", 2048)}));
    catalogue.books.push_back(book(kDuplicates, "重名书",
                                   {chapter(1, "画皮", 3000), chapter(2, "画皮", 3000),
                                    chapter(3, "画皮", 5000)}));
    catalogue.books.push_back(book(kHostile, "..\\..\\逃出/书",
                                   {chapter(1, "..\\..\\..\\evil", 100), chapter(2, "CON", 200),
                                    chapter(3, Text(150, 'x') + Text(100, 'y'), 300),
                                    chapter(4, "问?号*星", 400), 
                                    // An emoji has no code page 936 form: it arrives as "??", which no file name may hold.
                                    {5, reinterpret_cast<const char*>(u8"表情😀"), 500, {}}}));
    return catalogue;
}

std::vector<std::uint8_t> readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class SequenceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.start(0));
        root_ = std::filesystem::temp_directory_path() /
                ("zelbrin-sequence-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                 "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(root_);
        std::filesystem::create_directories(root_);
        startProgram();
    }

    void TearDown() override {
        stopProgram();
        service_.stop();
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }

    // What a start of the program does, over a fresh headless window.
    void startProgram() {
        initSharedState();
        currentRow = 0;
        chapterSize = chapterDone = chapterReceived = 0;
        window_ = std::make_unique<HeadlessControls>();
        controls = window_.get();
        serviceBase = service_.baseUrl();
        setDownloadRoot(root_.string());
        window_->setTimerHandler(Timer::时钟1, [this] {
            onSequenceTick();
            if (progressSeen_.empty() || progressSeen_.back() != window_->progress())
                progressSeen_.push_back(window_->progress());
        });
        window_->setTimerHandler(Timer::时钟2, onSpeedTick);
    }

    void stopProgram() {
        controls = nullptr;
        releaseSharedState();
        window_.reset();
        progressSeen_.clear();
    }

    void lookUp(std::int64_t id) {
        window_->setEditText(std::to_string(id));
        lookupBook();
    }

    bool timersStopped() const {
        return window_->timerPeriod(Timer::时钟1) <= 0 && window_->timerPeriod(Timer::时钟2) <= 0;
    }

    // Presses 开始下载 and lets the timers run until the sequence stops.
    void downloadAll() {
        startDownloads();
        ASSERT_TRUE(window_->runUntil([this] { return timersStopped(); }, std::chrono::seconds(60)));
    }

    std::vector<Text> statusColumn() const {
        std::vector<Text> cells;
        for (int row = 0; row < window_->rowCount(); ++row) cells.push_back(window_->cellText(row, 2));
        return cells;
    }

    std::filesystem::path bookFolder(const Text& gbkBookName) const {
        return nativePath(root_.string() + "\\" + safeName(gbkBookName));
    }

    void expectChapterFile(std::int64_t bookId, std::int64_t resId, std::uint64_t size,
                           const std::filesystem::path& file) {
        SCOPED_TRACE(file.string());
        ASSERT_TRUE(std::filesystem::exists(file));
        EXPECT_TRUE(readFile(file) == fake::audioBytes(bookId, resId, size));
    }

    int audioRequests(std::int64_t bookId, int chapters) const {
        int total = 0;
        for (int resId = 1; resId <= chapters; ++resId) {
            total += service_.requestCount("/audio/" + std::to_string(bookId) + "/" +
                                           std::to_string(resId) + ".mp3");
        }
        return total;
    }

    fake::FakeService service_{testBooks()};
    std::filesystem::path root_;
    std::unique_ptr<HeadlessControls> window_;
    std::vector<int> progressSeen_;
};

TEST_F(SequenceTest, DownloadsEveryRowInOrderAndSaysDone) {
    lookUp(kThreeChapters);
    ASSERT_EQ(window_->rowCount(), 3);
    downloadAll();

    EXPECT_EQ(progressSeen_, (std::vector<int>{33, 67, 100}));
    EXPECT_EQ(statusColumn(), (std::vector<Text>{"已下载", "已下载", "已下载"}));
    ASSERT_EQ(window_->messages().size(), 1u);
    EXPECT_EQ(window_->messages()[0].text, "下载完成");
    EXPECT_EQ(window_->messages()[0].caption, "信息：");
    EXPECT_EQ(currentRow, 2);
    EXPECT_EQ(chapterDone, 1);
    for (int resId = 1; resId <= 3; ++resId) {
        EXPECT_EQ(service_.requestCount("/ajax/path/4/801/" + std::to_string(resId)), 1);
    }
    const auto folder = bookFolder("三章书");
    expectChapterFile(kThreeChapters, 1, 70001, folder / nativePath("第一章.mp3"));
    expectChapterFile(kThreeChapters, 2, 1, folder / nativePath("第二章.mp3"));
    expectChapterFile(kThreeChapters, 3, 300000, folder / nativePath("第三章.mp3"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3);
}

TEST_F(SequenceTest, OneRowFillsTheBar) {
    lookUp(kOneChapter);
    downloadAll();
    EXPECT_EQ(progressSeen_, (std::vector<int>{100}));
    EXPECT_EQ(statusColumn(), (std::vector<Text>{"已下载"}));
    ASSERT_EQ(window_->messages().size(), 1u);
    expectChapterFile(kOneChapter, 1, 4096, bookFolder("单章书") / nativePath("独章.mp3"));
}

TEST_F(SequenceTest, PressBeforeAnyLookupStartsNothing) {
    startDownloads();
    EXPECT_TRUE(timersStopped());
    EXPECT_FALSE(downloader->hasTask());
    EXPECT_TRUE(window_->messages().empty());
    EXPECT_EQ(service_.statsJson().find("/ajax/path"), std::string::npos);
}

TEST_F(SequenceTest, FailedChaptersAreMarkedAndCountedAndTheSequenceGoesOn) {
    lookUp(kFailing);
    downloadAll();
    EXPECT_EQ(statusColumn(),
              (std::vector<Text>{"已下载", "下载失败", "下载失败", "下载失败", "已下载"}));
    ASSERT_EQ(window_->messages().size(), 1u);
    EXPECT_EQ(window_->messages()[0].text, "下载完成\r\n3 章下载失败");
    const auto folder = bookFolder("坏书");
    expectChapterFile(kFailing, 1, 2048, folder / nativePath("好章.mp3"));
    expectChapterFile(kFailing, 5, 2048, folder / nativePath("尾章.mp3"));
    // A failed chapter leaves nothing under its name, not even a partial file.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 2);
}

TEST_F(SequenceTest, SameNamesGetNumberedFilesOnEveryRun) {
    lookUp(kDuplicates);
    downloadAll();
    const auto folder = bookFolder("重名书");
    // Same name and same size: the second chapter is still a chapter of its own.
    expectChapterFile(kDuplicates, 1, 3000, folder / nativePath("画皮.mp3"));
    expectChapterFile(kDuplicates, 2, 3000, folder / nativePath("画皮(1).mp3"));
    expectChapterFile(kDuplicates, 3, 5000, folder / nativePath("画皮(2).mp3"));

    stopProgram();
    startProgram();
    lookUp(kDuplicates);
    downloadAll();
    EXPECT_EQ(statusColumn(), std::vector<Text>(3, "已下载"));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder), {}), 3);
}

TEST_F(SequenceTest, HostileNamesStayInsideTheBookFolder) {
    lookUp(kHostile);
    downloadAll();
    EXPECT_EQ(statusColumn(), std::vector<Text>(5, "已下载"));

    // Nothing outside the download root but the one book folder.
    std::vector<std::filesystem::path> entries(std::filesystem::directory_iterator(root_), {});
    ASSERT_EQ(entries.size(), 1u);
    const auto folder = entries[0];
    EXPECT_EQ(folder, bookFolder("..\\..\\逃出/书"));
    std::vector<std::filesystem::path> files(std::filesystem::directory_iterator(folder), {});
    EXPECT_EQ(files.size(), 5u);
    expectChapterFile(kHostile, 1, 100, folder / nativePath("_.._.._evil.mp3"));
    expectChapterFile(kHostile, 2, 200, folder / nativePath("_CON.mp3"));
    expectChapterFile(kHostile, 4, 400, folder / nativePath("问_号_星.mp3"));
    expectChapterFile(kHostile, 5, 500, folder / nativePath("表情__.mp3"));
    for (const auto& file : files) {
        EXPECT_LE(file.filename().string().size(), 255u);
    }
}

TEST_F(SequenceTest, RerunOverAFinishedBookFetchesNoAudioAgain) {
    lookUp(kThreeChapters);
    downloadAll();
    const auto before = service_.statsJson();
    const int audioBefore = audioRequests(kThreeChapters, 3);

    stopProgram();
    startProgram();
    lookUp(kThreeChapters);
    downloadAll();

    EXPECT_EQ(statusColumn(), (std::vector<Text>{"已下载", "已下载", "已下载"}));
    ASSERT_EQ(window_->messages().size(), 1u);
    EXPECT_EQ(window_->messages()[0].text, "下载完成");
    // Only the first answer of each chapter (its size) is fetched again; no body is saved twice
    // and no "(1)" copy appears.
    EXPECT_EQ(audioRequests(kThreeChapters, 3), audioBefore + 3) << before;
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(bookFolder("三章书")), {}), 3);
}

TEST(DownloadEvent, StatusCellShowsRoundedPercentages) {
    HeadlessControls window;
    controls = &window;
    currentRow = window.addRow("1");
    chapterReceived = 0;
    static const struct {
        int size;
        std::vector<int> blocks;
        std::vector<Text> cells;
    } cases[] = {
        {1000, {250, 250, 4, 496}, {"25%", "50%", "50%", "100%"}},
        {1000, {125}, {"13%"}},
        {3, {1, 1, 1}, {"33%", "67%", "100%"}},
    };
    for (const auto& c : cases) {
        onDownloadEvent(3, 0, c.size, 0, 0);
        for (size_t i = 0; i < c.blocks.size(); ++i) {
            onDownloadEvent(16, 0, c.blocks[i], 0, 0);
            EXPECT_EQ(window.cellText(currentRow, 2), c.cells[i]);
        }
        onDownloadEvent(4, 0, c.size, 0, 0);
        EXPECT_EQ(chapterDone, 1);
        EXPECT_EQ(chapterReceived, 0);
        chapterDone = 0;
    }
    controls = nullptr;
}

TEST(DownloadEvent, RateLabelShowsMegabytesPerInterval) {
    static const struct {
        int bytes;
        const char* text;
    } cases[] = {{524288, "下载速度0.5M"},
                 {0, "下载速度0M"},
                 {5000, "下载速度0M"},
                 {786432, "下载速度0.75M"},
                 {3 * 1048576, "下载速度3M"}};
    for (const auto& c : cases) EXPECT_EQ(rateLabelText(c.bytes), c.text) << c.bytes;
}

}  // namespace
}  // namespace zelbrin
