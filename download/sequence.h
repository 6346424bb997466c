// Downloading the listed chapters one after another: 开始下载 starts the sequence, the engine
// reports through onDownloadEvent, 时钟1 moves on to the next row and 时钟2 shows the rate.
#pragma once

#include <cstdint>
#include <string_view>

#include "download/task_param.h"
#include "text/text.h"

namespace zelbrin {

// Handler of 按钮_下载.
void startDownloads();
// Resolves the audio address of row `currentRow` and hands it to `downloader`.
void startNextChapter();
// The engine's event callback (events 3, 4, 16 and 18 are acted on).
int onDownloadEvent(int event, std::intptr_t worker, int value, int value2, std::intptr_t task);
// Handler of 时钟1.
void onSequenceTick();
// Handler of 时钟2.
void onSpeedTick();

// The audio address the service gives for chapter `resId` of book `bookId`; "" when none.
Text chapterAudioAddress(int bookId, std::string_view resId);
// The answer to kEventFileExists: a file of the download's size is the chapter saved by an
// earlier run (give up, nothing is fetched); any other file is kept and the chapter gets a new
// name.
int existingFileAnswer(int existingSize, int downloadSize);

// A task for `address` that saves the chapter of row `currentRow` under `folderPrefix`.
TaskParam makeTaskParam(std::string_view address, std::string_view folderPrefix);

// Where book folders are made: the program's own folder unless a front end says otherwise
// (tests, the command-line tool). Empty means the program's folder.
void setDownloadRoot(std::string_view folder);

// The rate label's text for the bytes of one 200 ms interval: «下载速度0.5M».
Text rateLabelText(int bytes);

// Chapters marked failed since the sequence was last started.
int failedChapterCount();

}  // namespace zelbrin
