// Looking a book up on the service and listing its chapters in 超级列表框1.
// Works on `currentBook` and `controls` of the shared state, asking `serviceBase`.
#pragma once

namespace zelbrin {

// Click handler of 按钮_获取: reads the id from 编辑框1, fills currentBook and the four book
// labels, then lists every page of chapters. The list is appended to, never cleared.
void lookupBook();

// Fetches the book page of currentBook->id and cuts out chapterTotal, name, author, narrator.
void fetchBookPage();

// Number of chapter-list pages asked for: chapterTotal / 10 rounded half away from zero, + 1.
int chapterPageCount(int chapterTotal);

// Appends one row per chapter of list page `page` (ten to a page) of currentBook.
void fetchChapterPage(int page);

}  // namespace zelbrin
