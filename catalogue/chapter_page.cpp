#include "catalogue/chapter_page.h"

#include "app/shared_state.h"
#include "text/charset.h"
#include "text/json_document.h"

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

Text chapterPageAddress(int bookId, int page) {
    return serviceBase + "/ajax/book/" + numberToText(bookId) + "/" + numberToText(page) + "/10";
}

std::vector<ChapterEntry> readChapterPage(std::string_view pageText) {
    // The JSON goes in as sent: the names are plain ASCII until they are decoded.
    JsonDocument document;
    document.parse(pageText);
    std::vector<ChapterEntry> entries;
    const int count = document.memberCount("data.data");
    for (int k = 0; k < count; ++k) {
        entries.push_back({document.getText(chapterPath(k, "resId")),
                           chapterName(document.getText(chapterPath(k, "resName")))});
    }
    return entries;
}

}  // namespace zelbrin
