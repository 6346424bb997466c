#include "app/controls.h"
#include "app/shared_state.h"
#include "catalogue/catalogue.h"
#include "net/fetch.h"
#include "text/charset.h"
#include "text/json_document.h"
#include "text/text.h"

namespace zelbrin {

namespace {

Text chapterPath(int index, std::string_view member) {
    return "data.data[" + numberToText(static_cast<double>(index)) + "]." + Text(member);
}

// Names arrive with their non-ASCII characters as "&#xXXXX;" references. The decoder leaves
// each closing ";" standing, so every ";" goes afterwards, the title's own ones included.
Text chapterName(std::string_view raw) {
    return replaceMany(decodeHexEntities(raw, "&#x"), std::nullopt, 1, false, {{";", ""}});
}

}  // namespace

void fetchChapterPage(int page) {
    const Text address = serviceBase + "/ajax/book/" + numberToText(currentBook->id) + "/" +
                         numberToText(page) + "/10";
    FetchOptions options;
    options.method = 1;
    // The JSON goes in as sent: the names are plain ASCII until they are decoded below.
    JsonDocument document;
    document.parse(bytesToText(fetchUrl(address, options)));

    const int count = document.memberCount("data.data");
    for (int k = 0; k < count; ++k) {
        const Text name = chapterName(document.getText(chapterPath(k, "resName")));
        const int row = controls->addRow(document.getText(chapterPath(k, "resId")));
        controls->setCell(row, 1, name);
        controls->setCell(row, 2, "待下载");
    }
}

}  // namespace zelbrin
