#include "cli/chapter_list.h"

#include <algorithm>
#include <atomic>
#include <system_error>
#include <thread>

#include "catalogue/catalogue.h"
#include "net/fetch.h"

namespace zelbrin::cli {
namespace {

std::vector<ChapterEntry> fetchPage(int id, int page) {
    FetchOptions options;
    options.method = 1;  // POST, as the window asks
    return readChapterPage(bytesToText(fetchUrl(chapterPageAddress(id, page), options)));
}

// Joins on every way out, so no thread outlives the pages it writes to.
class Workers {
public:
    ~Workers() {
        for (auto& thread : threads_) thread.join();
    }
    void start(auto work) {
        try {
            threads_.emplace_back(std::move(work));
        } catch (const std::system_error&) {
            // Fewer workers only make the list slower; the caller's own thread still works.
        }
    }

private:
    std::vector<std::thread> threads_;
};

}  // namespace

std::vector<ChapterEntry> fetchChapterPages(int id, int pageCount) {
    std::vector<std::vector<ChapterEntry>> pages(static_cast<std::size_t>(std::max(pageCount, 0)));
    std::atomic<int> nextPage{0};
    // Each page lands in its own slot, so the order does not depend on which answer came first.
    auto work = [&] {
        for (int page = nextPage++; page < pageCount; page = nextPage++) {
            pages[static_cast<std::size_t>(page)] = fetchPage(id, page);
        }
    };
    {
        Workers workers;
        for (int k = 1; k < std::min(pageCount, kMaxPagesInFlight); ++k) workers.start(work);
        work();
    }
    std::vector<ChapterEntry> chapters;
    for (auto& page : pages) {
        chapters.insert(chapters.end(), std::make_move_iterator(page.begin()),
                        std::make_move_iterator(page.end()));
    }
    return chapters;
}

Book fetchBook(int id) {
    Book book;
    BookInfo* saved = currentBook;
    currentBook = &book.info;
    book.info.id = id;
    fetchBookPage();
    currentBook = saved;
    book.chapters = fetchChapterPages(id, chapterPageCount(book.info.chapterTotal));
    return book;
}

}  // namespace zelbrin::cli
