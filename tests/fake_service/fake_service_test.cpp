// The endpoints the catalogue and download tests rely on, checked through fetchUrl.
#include "fake_service.h"

#include <gtest/gtest.h>

#include <condition_variable>  // std::chrono (see transfer_task.h)
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>

#include "net/fetch.h"

namespace zelbrin {
namespace {

// This file is compiled with GBK literals; the service speaks UTF-8, so its texts are u8.
std::string utf8(const char8_t* text) { return reinterpret_cast<const char*>(text); }
std::string asString(const Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

int occurrences(const std::string& text, const std::string& part) {
    int count = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class FakeServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto catalogue = fake_service::loadCatalogue(ZELBRIN_TEST_DATA_DIR "/books.json");
        ASSERT_TRUE(catalogue);
        service_ = std::make_unique<fake_service::FakeService>(std::move(*catalogue));
        ASSERT_TRUE(service_->start(0));
    }
    void TearDown() override { service_->stop(); }

    std::string get(const std::string& path, FetchOptions& options) {
        return asString(fetchUrl(service_->baseUrl() + path, options));
    }
    std::string post(const std::string& path) {
        FetchOptions options;
        options.method = 1;
        return get(path, options);
    }

    std::unique_ptr<fake_service::FakeService> service_;
};

TEST_F(FakeServiceTest, BookPageHoldsEachMarkerOnce) {
    std::string page = post("/book/30025");
    const std::string markers[] = {
        "var totalCount='25',page=0,pageSize",
        utf8(u8"<h1 class=\"nowrap\">凡人修仙传<i class=\"d-status\""),
        utf8(u8"</span><a class=\"author\">忘语</a></li>"),
        utf8(u8"class=\"g-user\">牛大宝</a>"),
    };
    for (const auto& marker : markers) {
        SCOPED_TRACE(marker);
        EXPECT_EQ(occurrences(page, marker), 1);
    }
    std::string unknown = post("/book/999");
    EXPECT_EQ(occurrences(unknown, "var totalCount='"), 0);
    EXPECT_NE(unknown.find("</html>"), std::string::npos);
}

TEST_F(FakeServiceTest, ChapterPagesHoldTenWithReferencedNames) {
    static const struct {
        const char* path;
        std::size_t count;
    } cases[] = {{"/ajax/book/30025/0/10", 10},
                 {"/ajax/book/30025/2/10", 5},
                 {"/ajax/book/30025/3/10", 0},
                 {"/ajax/book/40003/0/10", 3}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        auto json = nlohmann::json::parse(post(c.path));
        EXPECT_EQ(json["status"], "success");
        EXPECT_EQ(json["data"]["data"].size(), c.count);
    }
    auto page = nlohmann::json::parse(post("/ajax/book/40003/0/10"))["data"]["data"];
    EXPECT_EQ(page[0]["resId"], 4000301);
    EXPECT_EQ(page[0]["resName"], "&#x7b2c;&#x4e00;&#x7ae0; &#x79d1;&#x5b66;&#x8fb9;&#x754c;");
    // A character beyond the BMP is a surrogate pair of two references.
    EXPECT_NE(page[2]["resName"].get<std::string>().find("&#xd83c;&#xdfb1;"), std::string::npos);
    EXPECT_EQ(service_->requestCount("/ajax/book/40003/0/10"), 2);
}

TEST_F(FakeServiceTest, LookupGivesTheAudioAddress) {
    FetchOptions options;
    auto json = nlohmann::json::parse(get("/ajax/path/4/30025/3002501", options));
    EXPECT_EQ(json["data"], service_->baseUrl() + "/audio/30025/3002501.mp3");
    FetchOptions knob;
    EXPECT_FALSE(nlohmann::json::parse(get("/ajax/path/4/70002/7000201", knob)).contains("data"));
}

TEST_F(FakeServiceTest, AudioBytesRangesAndStats) {
    const std::string path = "/audio/30025/3002501.mp3";
    auto whole = fake_service::audioBytes(30025, 3002501, 307200);
    ASSERT_EQ(whole.size(), 307200u);
    EXPECT_NE(whole, fake_service::audioBytes(30025, 3002502, 307200));
    EXPECT_EQ(fake_service::audioByte(30025, 3002501, 307200, 12345), whole[12345]);

    FetchOptions full;
    EXPECT_EQ(fetchUrl(service_->baseUrl() + path, full), whole);
    EXPECT_NE(full.responseHeaders.find("Content-Length: 307200"), std::string::npos);

    HttpRequest connection;  // both ranges on one kept-alive connection
    static const struct {
        const char* range;
        std::uint64_t first, count;
        const char* contentRange;
    } cases[] = {{"bytes=100-199", 100, 100, "Content-Range: bytes 100-199/307200"},
                 {"bytes=307000-", 307000, 200, "Content-Range: bytes 307000-307199/307200"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.range);
        FetchOptions options;
        options.requestObject = &connection;
        options.headers = std::string("Range: ") + c.range;
        Bytes body = fetchUrl(service_->baseUrl() + path, options);
        EXPECT_EQ(options.status, 206);
        EXPECT_NE(options.responseHeaders.find(c.contentRange), std::string::npos);
        EXPECT_EQ(body, fake_service::audioBytes(30025, 3002501, 307200, c.first, c.count));
    }
    EXPECT_EQ(service_->rangeCount(path), 2);
    FetchOptions stats;
    auto json = nlohmann::json::parse(get("/stats", stats));
    EXPECT_EQ(json["requests"][path], 3);
    EXPECT_EQ(json["ranges"][path], 2);
}

TEST_F(FakeServiceTest, FaultKnobs) {
    const std::string path = "/audio/50001/5000101.mp3";
    FetchOptions fault;
    get(path + "?fault=503&retryAfter=2", fault);
    EXPECT_EQ(fault.status, 503);
    EXPECT_NE(fault.responseHeaders.find("Retry-After: 2"), std::string::npos);

    FetchOptions redirected;
    EXPECT_EQ(get(path + "?redirects=3", redirected).size(), 409600u);
    EXPECT_EQ(service_->requestCount(path), 5);

    // Closed after 1000 bytes the first time only.
    FetchOptions broken, whole;
    EXPECT_EQ(get(path + "?closeAfter=1000&closeMode=once", broken), "");
    EXPECT_EQ(broken.status, 0);
    EXPECT_EQ(get(path + "?closeAfter=1000&closeMode=once", whole).size(), 409600u);
}

// Benchmarks count the connections a client used and hold back some of them by number.
TEST_F(FakeServiceTest, ConnectionsAreCountedNumberedAndLogged) {
    const std::string log = ::testing::TempDir() + "fake_service_requests.log";
    ASSERT_TRUE(service_->logRequestsTo(log));
    const std::string path = "/audio/30025/3002501.mp3";
    // The second connection is a straggler: 96 KB at 64 KB/s after a 64 KB burst.
    const std::string knobs = "?size=98304&stragglerEvery=2&stragglerIndex=0&stragglerRate=65536";
    // Clients pool connections their own way (WinHTTP across request objects too): the service
    // closing after each "Connection: close" answer is what makes the next one new.
    HttpRequest kept;
    for (const char* header : {"", "Connection: close"}) {  // one connection, twice
        FetchOptions options;
        options.requestObject = &kept;
        options.headers = header;
        EXPECT_EQ(get(path + knobs, options).size(), 98304u);
    }
    FetchOptions fresh;
    fresh.headers = "Connection: close";
    auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(fetchUrl(service_->baseUrl() + path + knobs, fresh),
              fake_service::audioBytes(30025, 3002501, 98304));
    EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(350));

    EXPECT_EQ(service_->requestCount(path), 3);
    EXPECT_EQ(service_->connectionCount(path), 2);
    FetchOptions stats;
    auto json = nlohmann::json::parse(get("/stats", stats));
    EXPECT_EQ(json["connections"][path], 2);
    EXPECT_EQ(json["accepted"], 3);

    service_->stop();  // every answered request is in the log once the service has stopped
    std::ifstream lines(log);
    std::vector<int> connections;
    double began = 0, ended = 0;
    int connection = 0;
    std::string method, target;
    while (lines >> began >> ended >> connection >> method >> target) {
        EXPECT_LE(began, ended);
        EXPECT_EQ(method, "GET");
        connections.push_back(connection);
    }
    EXPECT_EQ(connections, (std::vector<int>{1, 1, 2, 3}));
}

}  // namespace
}  // namespace zelbrin
