// The catalogue's and the download sequence's rows of the fault matrix: book and chapter pages
// that are huge, not valid UTF-8, or JSON of the wrong types. The lookup never crashes and
// lists what can be read; the sequence then ends every row either saved byte for byte or
// marked failed with nothing left under its name.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "app/headless_controls.h"
#include "app/shared_state.h"
#include "catalogue/catalogue.h"
#include "download/chapter_files.h"
#include "download/download.h"
#include "download/paths.h"
#include "download/safe_name.h"
#include "download/sequence.h"
#include "fake_service.h"
#include "text/charset.h"

namespace zelbrin {
namespace {

namespace fake = fake_service;
namespace fs = std::filesystem;

constexpr const char* kTenMegabytes = "10485760";

struct BookRow {
    const char* what;
    std::int64_t id;
    fake::Knobs knobs;
    Text nameShown;  // 标签3 after the lookup
    int rowsListed;
    Text firstResId;  // column 0 of the first row; "" when no row is listed
};

const BookRow kBooks[] = {
    {"invalid UTF-8 in the book page", 41, {{"badUtf8", "1"}}, "坏字书?????", 3, "1"},
    {"a 10 MB book page", 42, {{"pagePadding", kTenMegabytes}}, "大页书", 3, "1"},
    {"resId a string", 43, {{"listShape", "resIdString"}}, "字串书", 3, "1"},
    {"resId null", 44, {{"listShape", "resIdNull"}}, "空号书", 3, ""},
    // An object's members count as elements: its one member is listed.
    {"data.data an object", 45, {{"listShape", "dataObject"}}, "对象书", 1, "1"},
    {"data.data null", 46, {{"listShape", "dataNull"}}, "无表书", 0, ""},
    {"a 10 MB chapter page", 47, {{"listPadding", kTenMegabytes}}, "大表书", 3, "1"},
};

fake::Catalogue testBooks() {
    fake::Catalogue catalogue;
    for (const BookRow& row : kBooks) {
        fake::Book b;
        b.id = row.id;
        b.name = gbkToUtf8(row.nameShown.substr(0, row.nameShown.find('?')));
        b.author = gbkToUtf8("作者");
        b.narrator = gbkToUtf8("主播");
        b.knobs = row.knobs;
        for (int k = 1; k <= 3; ++k)
            b.chapters.push_back({k,
                                  gbkToUtf8(Text("第章").insert(2, std::to_string(k))),
                                  static_cast<std::uint64_t>(1000 * k),
                                  {}});
        b.total = 3;
        catalogue.books.push_back(b);
    }
    return catalogue;
}

std::vector<std::uint8_t> readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class CatalogueFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.start(0));
        root_ = fs::temp_directory_path() /
                ("zelbrin-catalogue-faults-" +
                 std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
        fs::remove_all(root_);
        fs::create_directories(root_);
    }
    void TearDown() override {
        stopProgram();
        service_.stop();
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }

    void startProgram() {
        initSharedState();
        currentRow = 0;
        chapterSize = chapterDone = chapterReceived = 0;
        window_ = std::make_unique<HeadlessControls>();
        controls = window_.get();
        serviceBase = service_.baseUrl();
        setDownloadRoot(root_.string());
        window_->setTimerHandler(Timer::时钟1, onSequenceTick);
        window_->setTimerHandler(Timer::时钟2, onSpeedTick);
    }
    void stopProgram() {
        if (!window_) return;
        controls = nullptr;
        releaseSharedState();
        window_.reset();
    }

    fake::FakeService service_{testBooks()};
    fs::path root_;
    std::unique_ptr<HeadlessControls> window_;
};

TEST_F(CatalogueFaults, HostilePagesListWhatCanBeReadAndDownloadsEndCleanly) {
    for (const BookRow& book : kBooks) {
        SCOPED_TRACE(book.what);
        startProgram();
        window_->setEditText(std::to_string(book.id));
        lookupBook();
        // Each invalid sequence becomes "?" (how many depends on the decoder's resync).
        const Text shown = window_->labelText(Label::标签3);
        const Text known = book.nameShown.substr(0, book.nameShown.find('?'));
        EXPECT_EQ(shown.substr(0, known.size()), known);
        EXPECT_EQ(shown.find_first_not_of('?', known.size()), Text::npos) << shown;
        EXPECT_EQ(shown.size() > known.size(), book.nameShown.size() > known.size());
        EXPECT_EQ(window_->labelText(Label::标签4), "3");
        ASSERT_EQ(window_->rowCount(), book.rowsListed);
        if (book.rowsListed > 0) {
            EXPECT_EQ(window_->cellText(0, 0), book.firstResId);
        }

        startDownloads();
        ASSERT_TRUE(window_->runUntil(
            [this] {
                return window_->timerPeriod(Timer::时钟1) <= 0 &&
                       window_->timerPeriod(Timer::时钟2) <= 0;
            },
            std::chrono::seconds(30)));
        // Every row saved byte for byte under its name, or failed with no file at all.
        const Text folder = root_.string() + "\\" + safeName(currentBook->name);
        std::vector<Text> names;
        for (int row = 0; row < window_->rowCount(); ++row)
            names.push_back(window_->cellText(row, 1));
        const auto paths = chapterFilePaths(names, folder + "\\");
        std::size_t saved = 0;
        for (int row = 0; row < window_->rowCount(); ++row) {
            const auto file = nativePath(paths[static_cast<std::size_t>(row)]);
            if (window_->cellText(row, 2) == "已下载") {
                ++saved;
                EXPECT_TRUE(
                    readFile(file) ==
                    fake::audioBytes(book.id, row + 1, 1000u * static_cast<unsigned>(row + 1)))
                    << row;
            } else {
                EXPECT_EQ(window_->cellText(row, 2), "下载失败") << row;
                EXPECT_FALSE(fs::exists(file)) << row;
            }
        }
        const auto nativeFolder = nativePath(folder);
        const auto present =
            fs::exists(nativeFolder) ? std::distance(fs::directory_iterator(nativeFolder), {}) : 0;
        EXPECT_EQ(static_cast<std::size_t>(present), saved);
        if (book.firstResId == "1") {
            EXPECT_EQ(saved, static_cast<std::size_t>(book.rowsListed));
        }
        stopProgram();
    }
}

}  // namespace
}  // namespace zelbrin
