// The book's chapters for zelbrin-cli: the window's book page code, and its chapter pages read
// several at a time.
#pragma once

#include <vector>

#include "app/shared_state.h"
#include "catalogue/chapter_page.h"

namespace zelbrin::cli {

// At most this many chapter pages are on their way at once.
inline constexpr int kMaxPagesInFlight = 8;

struct Book {
    BookInfo info;
    std::vector<ChapterEntry> chapters;  // in the book's order
};

// Fetches the book page and every chapter page of book `id` from `serviceBase`. Must run on
// one thread at a time: the book page goes through the shared `currentBook`, which it needs.
Book fetchBook(int id);

// The chapters of `pageCount` list pages of book `id`, page by page in order, with up to
// kMaxPagesInFlight requests running at once.
std::vector<ChapterEntry> fetchChapterPages(int id, int pageCount);

}  // namespace zelbrin::cli
