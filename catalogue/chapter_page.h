// One page of a book's chapter list, apart from the list view: its address and what it holds.
// The window appends what a page holds to 超级列表框1; zelbrin-cli reads several pages at once
// on threads of its own, which only these two functions and fetchUrl may do.
#pragma once

#include <string_view>
#include <vector>

#include "text/text.h"

namespace zelbrin {

struct ChapterEntry {
    Text resId;  // as the service writes it, the first column of the list
    Text name;   // decoded
};

// The address of list page `page` (0-based, ten chapters to a page) of book `bookId` under
// `serviceBase`. Ask for it with POST.
Text chapterPageAddress(int bookId, int page);

// The chapters of one page's JSON answer in its order; none for anything unreadable.
std::vector<ChapterEntry> readChapterPage(std::string_view pageText);

}  // namespace zelbrin
