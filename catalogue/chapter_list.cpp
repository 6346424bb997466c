#include "app/controls.h"
#include "app/shared_state.h"
#include "catalogue/catalogue.h"
#include "catalogue/chapter_page.h"
#include "net/fetch.h"
#include "text/text.h"

namespace zelbrin {

void fetchChapterPage(int page) {
    FetchOptions options;
    options.method = 1;
    const Text pageText = bytesToText(fetchUrl(chapterPageAddress(currentBook->id, page), options));
    for (const ChapterEntry& entry : readChapterPage(pageText)) {
        const int row = controls->addRow(entry.resId);
        controls->setCell(row, 1, entry.name);
        controls->setCell(row, 2, "待下载");
    }
}

}  // namespace zelbrin
