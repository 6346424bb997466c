// Book lookup and chapter listing against the local fake service, through the headless
// controls. Literals here are GBK like the program's; the service's books are given in UTF-8.
#include "catalogue/catalogue.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "app/headless_controls.h"
#include "app/shared_state.h"
#include "fake_service.h"
#include "text/text.h"

namespace zelbrin {
namespace {

namespace fake = fake_service;

std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }

fake::Book book(std::int64_t id, int chapterCount, int total) {
    fake::Book b;
    b.id = id;
    b.name = utf8(u8"测试书");
    b.author = utf8(u8"作者甲");
    b.narrator = utf8(u8"主播乙");
    b.total = total;
    for (int n = 1; n <= chapterCount; ++n) {
        b.chapters.push_back({id * 1000 + n, "part " + std::to_string(n), 1024, {}});
    }
    return b;
}

fake::Book namedChapters(std::int64_t id, std::vector<std::string> names) {
    fake::Book b = book(id, 0, static_cast<int>(names.size()));
    for (std::size_t k = 0; k < names.size(); ++k) {
        b.chapters.push_back({id * 1000 + static_cast<std::int64_t>(k) + 1, names[k], 1024, {}});
    }
    return b;
}

// Announced totals and the pages they make: the rounded tenth plus one.
constexpr struct {
    int total;
    int pages;
} kPageCases[] = {{0, 1}, {4, 1}, {5, 2}, {10, 2}, {14, 2}, {15, 3}, {24, 3}, {25, 4}};

constexpr std::int64_t kPagedBookBase = 100;  // book 100 + total announces `total` chapters
constexpr std::int64_t kThreeChapters = 40003;
constexpr std::int64_t kNames = 50005;
constexpr std::int64_t kUnknown = 999;

fake::Catalogue testBooks() {
    fake::Catalogue catalogue;
    for (const auto& c : kPageCases) {
        catalogue.books.push_back(book(kPagedBookBase + c.total, c.total, c.total));
    }
    fake::Book three = namedChapters(
        kThreeChapters,
        {utf8(u8"第一章 科学边界"), utf8(u8"第二章 射手和农场主"), utf8(u8"第三章 台球")});
    three.name = utf8(u8"三体");
    three.author = utf8(u8"刘慈欣");
    three.narrator = utf8(u8"冯雪松");
    catalogue.books.push_back(three);
    // The service writes every non-ASCII character as "&#xXXXX;"; these ASCII names carry
    // references of other lengths and a semicolon of their own.
    catalogue.books.push_back(namedChapters(kNames, {utf8(u8"凡人修仙传"), "Act 1; Scene 2",
                                                     "A&#x41;B", "&#x1F600;", "100%25 &#X4E2D;"}));
    return catalogue;
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(service_.start(0));
        initSharedState();
        controls = &window_;
        savedBase_ = serviceBase;
        serviceBase = service_.baseUrl();
    }

    void TearDown() override {
        serviceBase = savedBase_;
        controls = nullptr;
        releaseSharedState();
        service_.stop();
    }

    void lookUp(std::int64_t id) {
        window_.setEditText(std::to_string(id));
        lookupBook();
    }

    int pageRequests(std::int64_t id, int page) const {
        return service_.requestCount("/ajax/book/" + std::to_string(id) + "/" +
                                     std::to_string(page) + "/10");
    }

    std::vector<Text> column(int index) const {
        std::vector<Text> cells;
        for (int row = 0; row < window_.rowCount(); ++row) {
            cells.push_back(window_.cellText(row, index));
        }
        return cells;
    }

    fake::FakeService service_{testBooks()};
    HeadlessControls window_;
    Text savedBase_;
};

TEST_F(CatalogueTest, RequestsRoundedTenthPlusOnePagesInOrder) {
    for (const auto& c : kPageCases) {
        SCOPED_TRACE("total " + std::to_string(c.total));
        const std::int64_t id = kPagedBookBase + c.total;
        const int rowsBefore = window_.rowCount();
        lookUp(id);
        EXPECT_EQ(chapterPageCount(c.total), c.pages);
        EXPECT_EQ(service_.requestCount("/book/" + std::to_string(id)), 1);
        for (int page = 0; page < c.pages; ++page) {
            EXPECT_EQ(pageRequests(id, page), 1) << "page " << page;
        }
        EXPECT_EQ(pageRequests(id, c.pages), 0);
        EXPECT_EQ(window_.labelText(Label::标签4), std::to_string(c.total));
        EXPECT_EQ(window_.rowCount() - rowsBefore, c.total);
    }
}

TEST_F(CatalogueTest, FillsLabelsAndAppendsOneWaitingRowPerChapterInOrder) {
    lookUp(kThreeChapters);
    EXPECT_EQ(currentBook->id, kThreeChapters);
    EXPECT_EQ(currentBook->chapterTotal, 3);
    EXPECT_EQ(window_.labelText(Label::标签3), "三体");
    EXPECT_EQ(window_.labelText(Label::标签4), "3");
    EXPECT_EQ(window_.labelText(Label::标签6), "刘慈欣");
    EXPECT_EQ(window_.labelText(Label::标签8), "冯雪松");
    EXPECT_EQ(column(0), (std::vector<Text>{"40003001", "40003002", "40003003"}));
    EXPECT_EQ(column(1),
              (std::vector<Text>{"第一章 科学边界", "第二章 射手和农场主", "第三章 台球"}));
    EXPECT_EQ(column(2), (std::vector<Text>{"待下载", "待下载", "待下载"}));
}

TEST_F(CatalogueTest, DecodesNamesAndDropsEverySemicolon) {
    lookUp(kNames);
    const std::vector<Text> expected = {
        "凡人修仙传",     // written entirely as four-digit references
        "Act 1 Scene 2",  // the name's own ";" goes too
        "A%u41B",         // two digits: left as "%u" and the digits
        "?0",             // five digits: the first four decode (U+1F60, not in GBK), "0" stays
        "100% &#X4E2D",   // other "%" forms decode; an upper-case X is no reference
    };
    EXPECT_EQ(column(1), expected);
}

TEST_F(CatalogueTest, UnknownBookGivesEmptyLabelsZeroAndOnePageRequest) {
    lookUp(kUnknown);
    EXPECT_EQ(window_.labelText(Label::标签3), "");
    EXPECT_EQ(window_.labelText(Label::标签4), "0");
    EXPECT_EQ(window_.labelText(Label::标签6), "");
    EXPECT_EQ(window_.labelText(Label::标签8), "");
    EXPECT_EQ(pageRequests(kUnknown, 0), 1);
    EXPECT_EQ(pageRequests(kUnknown, 1), 0);
    EXPECT_EQ(window_.rowCount(), 0);
}

TEST_F(CatalogueTest, LookingUpTwiceListsEveryChapterTwice) {
    lookUp(kThreeChapters);
    lookUp(kThreeChapters);
    const std::vector<Text> once = {"40003001", "40003002", "40003003"};
    std::vector<Text> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(column(0), twice);
    EXPECT_EQ(column(2), std::vector<Text>(6, "待下载"));
}

TEST_F(CatalogueTest, UnreachableServiceStillAsksForPageZeroAndAddsNothing) {
    service_.stop();
    lookUp(kThreeChapters);
    EXPECT_EQ(currentBook->name, "");
    EXPECT_EQ(window_.labelText(Label::标签4), "0");
    EXPECT_EQ(window_.rowCount(), 0);
}

}  // namespace
}  // namespace zelbrin
