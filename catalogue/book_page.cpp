#include "app/controls.h"
#include "app/shared_state.h"
#include "catalogue/catalogue.h"
#include "net/fetch.h"
#include "text/charset.h"
#include "text/text.h"

namespace zelbrin {

void fetchBookPage() {
    const Text address = serviceBase + "/book/" + numberToText(currentBook->id);
    FetchOptions options;
    options.method = 1;  // POST with an empty body, as the service's own page does
    const Text page = utf8ToGbk(bytesToText(fetchUrl(address, options)));

    currentBook->chapterTotal =
        textToInt(textBetween(page, "var totalCount='", "',page=0,pageSize"));
    currentBook->name = textBetween(page, "<h1 class=\"nowrap\">", "<i class=\"d-status");
    currentBook->author = textBetween(page, "</span><a class=\"author\">", "</a></li>");
    currentBook->narrator = textBetween(page, "class=\"g-user\">", "</a>");
}

int chapterPageCount(int chapterTotal) {
    // Rounded, not the ceiling: 15 chapters give three pages, the last one past the end.
    return static_cast<int>(roundNumber(chapterTotal / 10.0)) + 1;
}

void lookupBook() {
    currentBook->id = textToInt(controls->editText());
    fetchBookPage();

    controls->setLabelText(Label::标签3, currentBook->name);
    controls->setLabelText(Label::标签4, numberToText(currentBook->chapterTotal));
    controls->setLabelText(Label::标签6, currentBook->author);
    controls->setLabelText(Label::标签8, currentBook->narrator);

    const int pageCount = chapterPageCount(currentBook->chapterTotal);
    for (int page = 0; page < pageCount; ++page) {
        fetchChapterPage(page);
    }
}

}  // namespace zelbrin
