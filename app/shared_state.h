// The process-wide state every part of the program talks through. Plain globals by design:
// the window's handlers and the download callback read and write them directly.
#pragma once

#include <atomic>

#include "text/text.h"

namespace zelbrin {

class Controls;
class Download;

struct BookInfo {
    Text name;
    int id = 0;
    int chapterTotal = 0;
    Text author;
    Text narrator;
};

extern BookInfo* currentBook;  // allocated by initSharedState
extern Download* downloader;   // allocated by initSharedState; no engine until first used
extern Text saveFolder;
extern int currentRow;
// Written by the download callback on an engine thread, read on the window's thread.
extern std::atomic<int> chapterSize;
extern std::atomic<int> chapterDone;
extern std::atomic<int> chapterReceived;

// The window (or the headless model) the handlers work on; set by the front end at start-up.
extern Controls* controls;

// Scheme and host of the audiobook service, without a trailing "/". Starts as the build
// setting; the test programs and the command-line front end point it elsewhere.
extern Text serviceBase;

void initSharedState();
// Runs at most once per initSharedState, on the main thread, after the last window is gone.
void releaseSharedState();

}  // namespace zelbrin
