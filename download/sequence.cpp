#include "download/sequence.h"

#include <atomic>

#include "app/controls.h"
#include "app/shared_state.h"
#include "download/download.h"
#include "download/chapter_files.h"
#include "download/download_events.h"
#include "download/paths.h"
#include "download/safe_name.h"
#include "net/fetch.h"
#include "text/json_document.h"

namespace zelbrin {
namespace {

constexpr int kStatusColumn = 2;
constexpr int kSequencePeriodMs = 1000;
constexpr int kSpeedPeriodMs = 200;
// The engine detaches a finished task right after its last event returns; this is how long a
// tick waits for that instead of leaving the next chapter to a later tick.
constexpr int kHandOverWaitMs = 500;

Text downloadRoot;
int failedChapters = 0;
// How the current chapter ended, written on an engine thread with chapterDone.
std::atomic<bool> chapterFailed{false};
// Event 18 found the chapter's file complete from an earlier run.
std::atomic<bool> chapterAlreadyComplete{false};

Text currentChapterCell(int column) { return controls->cellText(currentRow, column); }

Text audioAddressOfCurrentRow() {
    return chapterAudioAddress(currentBook->id, currentChapterCell(0));
}

// A chapter that never reached the engine ends here, so the next tick moves on.
void endChapterUnstarted() {
    chapterFailed = true;
    chapterDone = 1;
}

void finishSequence() {
    controls->setTimerPeriod(Timer::时钟1, 0);
    controls->setTimerPeriod(Timer::时钟2, 0);
    Text message = "下载完成";
    if (failedChapters > 0) message += "\r\n" + numberToText(failedChapters) + " 章下载失败";
    controls->showMessage(message, "信息：");
}

}  // namespace

Text chapterAudioAddress(int bookId, std::string_view resId) {
    const Text address = serviceBase + "/ajax/path/4/" + numberToText(bookId) + "/" + Text(resId);
    JsonDocument answer;
    answer.parse(bytesToText(fetchUrl(address)));
    return answer.getText("data");
}

int existingFileAnswer(int existingSize, int downloadSize) {
    // A file of exactly the download's size is taken as this chapter from an earlier run; any
    // other file keeps its name and the new one gets "(1)", "(2)", ...
    return existingSize == downloadSize ? kAnswerGiveUp : kAnswerNewName;
}

void setDownloadRoot(std::string_view folder) { downloadRoot = Text(folder); }

int failedChapterCount() { return failedChapters; }

TaskParam makeTaskParam(std::string_view address, std::string_view folderPrefix) {
    TaskParam task = defaultTaskParam();
    task.url = Text(address);
    task.connections = 10;
    // The file names are decided over the rows up to this one, so a second chapter of the same
    // name gets "(1)" on every run instead of being taken for the first one's finished file.
    std::vector<Text> names;
    for (int row = 0; row <= currentRow; ++row) names.push_back(controls->cellText(row, 1));
    task.savePath = chapterFilePaths(names, folderPrefix).back();
    task.eventCallback = onDownloadEvent;
    return task;
}

void startDownloads() {
    // Nothing listed at the current row: there is nothing to start.
    if (currentRow >= controls->rowCount()) return;

    const Text root = downloadRoot.empty() ? runDirectory() : downloadRoot;
    saveFolder = root + "\\" + safeName(currentBook->name);
    if (!folderExists(saveFolder)) ensureFolder(saveFolder);

    const bool idle = controls->timerPeriod(Timer::时钟1) <= 0;
    controls->setTimerPeriod(Timer::时钟2, kSpeedPeriodMs);
    controls->setTimerPeriod(Timer::时钟1, kSequencePeriodMs);
    if (idle) failedChapters = 0;

    // A press while a chapter is still on its way changes nothing about it: queuing the row
    // again would only be refused, and a refusal must not count as a failed chapter.
    if (downloader->hasTask() || (!idle && chapterDone == 1)) return;
    startNextChapter();
}

void startNextChapter() {
    chapterFailed = false;
    chapterAlreadyComplete = false;
    const Text address = audioAddressOfCurrentRow();
    if (address.empty()) return endChapterUnstarted();

    const TaskParam task = makeTaskParam(address, saveFolder + "\\");
    if (task.savePath.empty() || !downloader->addTask(task)) endChapterUnstarted();
}

int onDownloadEvent(int event, std::intptr_t, int value, int value2, std::intptr_t) {
    switch (event) {
        case kEventSizeKnown:
            chapterSize = value;
            return 0;
        case kEventTaskEnded: {
            const auto outcome = static_cast<DownloadOutcome>(value2);
            chapterFailed = outcome != DownloadOutcome::complete &&
                            !(outcome == DownloadOutcome::fileExists && chapterAlreadyComplete);
            chapterDone = 1;
            chapterReceived = 0;
            return 0;
        }
        case kEventWritten: {
            chapterReceived = static_cast<int>(static_cast<std::uint32_t>(chapterReceived) +
                                               static_cast<std::uint32_t>(value));
            const int size = chapterSize;
            if (size <= 0) return 0;
            const double percent = roundNumber(chapterReceived / static_cast<double>(size) * 100);
            controls->setCell(currentRow, kStatusColumn, numberToText(percent) + "%");
            return 0;
        }
        case kEventFileExists: {
            const int answer = existingFileAnswer(value, value2);
            if (answer == kAnswerGiveUp) chapterAlreadyComplete = true;
            return answer;
        }
        default:
            return 0;
    }
}

void onSequenceTick() {
    if (chapterDone != 1) return;
    // The next task may only be added once the engine has let go of the finished one.
    if (!downloader->waitUntilIdle(kHandOverWaitMs)) return;

    const int rows = controls->rowCount();
    const int row = currentRow;
    controls->setProgress(static_cast<int>(roundNumber((row + 1) / static_cast<double>(rows) * 100)));
    if (chapterFailed) ++failedChapters;
    controls->setCell(row, kStatusColumn, chapterFailed ? "下载失败" : "已下载");
    chapterFailed = false;

    if (row + 1 < rows) {
        currentRow = row + 1;
        chapterDone = 0;
        startNextChapter();
    } else {
        finishSequence();
    }
}

Text rateLabelText(int bytes) {
    return "下载速度" + numberToText(roundNumber(bytes / 1048576.0, 2)) + "M";
}

void onSpeedTick() {
    controls->setLabelText(Label::标签10, rateLabelText(downloader->takeReceivedBytes()));
}

}  // namespace zelbrin
