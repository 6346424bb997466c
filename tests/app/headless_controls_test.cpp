// The in-memory controls the tests and the command-line front end drive, and the shared state.
#include "app/headless_controls.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "app/shared_state.h"

namespace zelbrin {
namespace {

using std::chrono::milliseconds;

TEST(HeadlessControls, StartsLikeTheWindow) {
    HeadlessControls controls;
    EXPECT_EQ(controls.editText(), "30025");
    EXPECT_EQ(controls.labelText(Label::标签3), "");
    EXPECT_EQ(controls.labelText(Label::标签10), "下载速度:0Mb");
    EXPECT_EQ(controls.rowCount(), 0);
    EXPECT_EQ(controls.progress(), 0);
    EXPECT_EQ(controls.timerPeriod(Timer::时钟1), 0);
    EXPECT_EQ(controls.timerPeriod(Timer::时钟2), 0);
}

TEST(HeadlessControls, TypingKeepsDigitsAndMinusOnlyWhilePasteKeepsAll) {
    static const struct {
        const char* typed;
        const char* kept;
    } cases[] = {{"a1-b2", "1-2"}, {"-9x8", "-98"}, {"abc", ""}, {"中1", "1"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        HeadlessControls controls;
        controls.setEditText("");
        controls.typeIntoEditBox(c.typed);
        EXPECT_EQ(controls.editText(), c.kept);
    }
    HeadlessControls controls;
    controls.setEditText("ab12");
    EXPECT_EQ(controls.editText(), "ab12");
}

TEST(HeadlessControls, RowsAppendAndCellsOutsideAreEmpty) {
    HeadlessControls controls;
    EXPECT_EQ(controls.addRow("7"), 0);
    EXPECT_EQ(controls.addRow("8"), 1);
    controls.setCell(1, 2, "待下载");
    controls.setCell(5, 1, "nowhere");
    controls.setCell(0, 3, "nowhere");
    EXPECT_EQ(controls.cellText(1, 0), "8");
    EXPECT_EQ(controls.cellText(1, 2), "待下载");
    EXPECT_EQ(controls.cellText(0, 1), "");
    EXPECT_EQ(controls.cellText(5, 1), "");
    EXPECT_EQ(controls.cellText(-1, 0), "");
    EXPECT_EQ(controls.rowCount(), 2);
}

TEST(HeadlessControls, CellsSetFromOtherThreadsAllLand) {
    HeadlessControls controls;
    for (int row = 0; row < 50; ++row) {
        controls.addRow(std::to_string(row));
    }
    std::vector<std::thread> writers;
    for (int column = 1; column <= 2; ++column) {
        writers.emplace_back([&controls, column] {
            for (int row = 0; row < 50; ++row) {
                controls.setCell(row, column, std::to_string(row * column));
            }
        });
    }
    for (int row = 50; row < 60; ++row) {
        controls.addRow(std::to_string(row));  // the loop's thread keeps appending meanwhile
    }
    for (auto& writer : writers) {
        writer.join();
    }
    for (int row = 0; row < 50; ++row) {
        EXPECT_EQ(controls.cellText(row, 2), std::to_string(row * 2));
    }
    EXPECT_EQ(controls.rowCount(), 60);
}

TEST(HeadlessControls, TimerPeriodRules) {
    static const struct {
        int written;
        int period;
    } cases[] = {{200, 200}, {200, 200}, {1000, 1000}, {0, 0}, {50, 50}, {-3, 0}};
    HeadlessControls controls;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.written);
        controls.setTimerPeriod(Timer::时钟2, c.written);
        EXPECT_EQ(controls.timerPeriod(Timer::时钟2), c.period);
    }
}

TEST(HeadlessControls, LoopTicksRunningTimersOnlyUntilStopped) {
    HeadlessControls controls;
    int ticks1 = 0;
    int ticks2 = 0;
    controls.setTimerHandler(Timer::时钟1, [&] {
        if (++ticks1 == 3) {
            controls.setTimerPeriod(Timer::时钟1, 0);  // a handler may stop its own timer
        }
    });
    controls.setTimerHandler(Timer::时钟2, [&] { ++ticks2; });
    // Nothing runs while both are stopped.
    EXPECT_FALSE(controls.runUntil([] { return false; }, milliseconds(60)));
    EXPECT_EQ(ticks1 + ticks2, 0);

    controls.setTimerPeriod(Timer::时钟1, 10);
    EXPECT_TRUE(controls.runUntil([&] { return ticks1 == 3; }, milliseconds(5000)));
    EXPECT_FALSE(controls.runUntil([] { return false; }, milliseconds(60)));
    EXPECT_EQ(ticks1, 3);
    EXPECT_EQ(ticks2, 0);
}

TEST(HeadlessControls, MessagesAreRecorded) {
    HeadlessControls controls;
    controls.showMessage("下载完成", "");
    ASSERT_EQ(controls.messages().size(), 1u);
    EXPECT_EQ(controls.messages()[0].text, "下载完成");
}

TEST(SharedState, StartsEmptyAndReleasesOnce) {
    initSharedState();
    ASSERT_NE(currentBook, nullptr);
    EXPECT_NE(downloader, nullptr);
    EXPECT_EQ(currentBook->name, "");
    EXPECT_EQ(currentBook->author, "");
    EXPECT_EQ(currentBook->narrator, "");
    EXPECT_EQ(currentBook->id, 0);
    EXPECT_EQ(currentBook->chapterTotal, 0);
    EXPECT_EQ(saveFolder, "");
    EXPECT_EQ(currentRow, 0);
    EXPECT_EQ(chapterSize, 0);
    EXPECT_EQ(chapterDone, 0);
    EXPECT_EQ(chapterReceived, 0);
    saveFolder = "C:\\books\\x";
    releaseSharedState();
    EXPECT_EQ(currentBook, nullptr);
    EXPECT_EQ(downloader, nullptr);
    EXPECT_EQ(saveFolder, "");
    releaseSharedState();  // a second call finds nothing left to release
    EXPECT_EQ(currentBook, nullptr);
}

}  // namespace
}  // namespace zelbrin
