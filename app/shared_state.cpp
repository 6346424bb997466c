#include "app/shared_state.h"

#include "app/downloader_slot.h"
#include "app/settings.h"

namespace zelbrin {

BookInfo* currentBook = nullptr;
Download* downloader = nullptr;
Text saveFolder;
int currentRow = 0;
std::atomic<int> chapterSize{0};
std::atomic<int> chapterDone{0};
std::atomic<int> chapterReceived{0};
Controls* controls = nullptr;
Text serviceBase{settings::kServiceBase};

namespace {
bool stateLive = false;
}  // namespace

void initSharedState() {
    currentBook = new BookInfo{};
    downloader = createDownloader();
    stateLive = true;
}

void releaseSharedState() {
    if (!stateLive) {
        return;
    }
    stateLive = false;
    // The book's texts go with the record; the order matters only for the engine, which must
    // stop after nothing of the book can be read any more.
    delete currentBook;
    currentBook = nullptr;
    destroyDownloader(downloader);
    downloader = nullptr;
    saveFolder.clear();
    saveFolder.shrink_to_fit();
}

}  // namespace zelbrin
