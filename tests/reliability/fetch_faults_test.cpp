// fetchUrl's rows of the fault matrix: whatever the server or the network does, the call
// returns within its time-out, and a body comes back only whole; a failure is an empty body
// with status 0.
#include <gtest/gtest.h>

#include <memory>

#include "fake_service.h"
#include "net/fetch.h"
#include "net/http_request.h"

namespace zelbrin {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int64_t kBook = 32;
constexpr std::int64_t kChapter = 3201;
constexpr int kSize = 100000;

class FetchFaults : public ::testing::Test {
protected:
    void SetUp() override {
        fake_service::Catalogue catalogue;
        fake_service::Book book;
        book.id = kBook;
        book.name = "book";
        book.chapters.push_back({kChapter, "chapter", kSize, {}});
        book.total = 1;
        catalogue.books.push_back(book);
        service_ = std::make_unique<fake_service::FakeService>(catalogue);
        ASSERT_TRUE(service_->start());
    }
    void TearDown() override { service_->stop(); }

    Text audioUrl(const std::string& query) const {
        return service_->baseUrl() + "/audio/" + std::to_string(kBook) + "/" +
               std::to_string(kChapter) + ".mp3?" + query;
    }
    static Bytes audio(int size = kSize) {
        return fake_service::audioBytes(kBook, kChapter, static_cast<std::uint64_t>(size));
    }

    std::unique_ptr<fake_service::FakeService> service_;
};

TEST_F(FetchFaults, EveryAnswerIsWholeOrAnEmptyFailure) {
    fake_service::FakeService gone;
    ASSERT_TRUE(gone.start());
    const Text refused = gone.baseUrl() + "/audio/32/3201.mp3";
    gone.stop();
    const Bytes whole = audio();
    const Bytes declared = Bytes(whole.begin(), whole.begin() + (kSize - 1000));
    const std::string kLoopBody = "arrived";

    static const struct Row {
        const char* what;
        std::string target;  // an audio query, "/path" on the service, or "" for `refused`
        int status;          // expected; 0 for a failure
        const Bytes* body;   // expected body; nullptr: not checked (statuses other than 200)
    } rows[] = {
        {"connection refused", "", 0, nullptr},
        {"closed at once", "drop=1", 0, nullptr},
        {"closed mid-body", "closeAfter=30000", 0, nullptr},
        {"stall longer than the time-out", "stall=10&stallAfter=30000", 0, nullptr},
        {"a slow drip within the time-out", "rate=60000", 200, &whole},
        {"Content-Length larger than the body", "length=101000", 0, nullptr},
        {"Content-Length smaller than the body: the declared bytes", "length=99000", 200,
         &declared},
        {"Content-Length 2^40", "length=1099511627776", 0, nullptr},
        {"no Content-Length: the body ends with the connection", "noLength=1", 200, &whole},
        {"a redirect loop", "/loop", 0, nullptr},
        {"403 with an HTML body", "fault=403", 403, nullptr},
        {"404 with an HTML body", "fault=404", 404, nullptr},
        {"503 with Retry-After: no retry here", "fault=503&retryAfter=30", 503, nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        FetchOptions options;
        options.timeoutSeconds = 3;
        const Text url = row.target.empty()     ? refused
                         : row.target[0] == '/' ? service_->baseUrl() + row.target
                                                : audioUrl(row.target);
        const auto began = Clock::now();
        const Bytes body = fetchUrl(url, options);
        EXPECT_LT(Clock::now() - began, std::chrono::seconds(6));
        EXPECT_EQ(options.status, row.status);
        if (row.status == 0) {
            EXPECT_TRUE(body.empty()) << body.size();
        }
        if (row.body) {
            EXPECT_TRUE(body == *row.body) << body.size();
        }
    }
}

TEST_F(FetchFaults, NegativeOrGarbageLengthNeverGivesAWrongBody) {
    for (const char* length : {"-5", "12abc", "abc"}) {
        SCOPED_TRACE(length);
        FetchOptions options;
        options.timeoutSeconds = 3;
        const Bytes body = fetchUrl(audioUrl(std::string("length=") + length), options);
        // Either refused as malformed, or read to the connection's end: never a cut body.
        if (options.status == 200) {
            EXPECT_TRUE(body == audio()) << body.size();
        } else {
            EXPECT_EQ(options.status, 0);
            EXPECT_TRUE(body.empty());
        }
    }
}

TEST_F(FetchFaults, KeptAliveConnectionClosedBeforeReuseIsReopened) {
    HttpRequest request;
    ASSERT_TRUE(request.valid());
    for (int call = 0; call < 3; ++call) {
        SCOPED_TRACE(call);
        FetchOptions options;
        options.timeoutSeconds = 3;
        options.requestObject = &request;
        const Bytes body = fetchUrl(audioUrl("dropIdle=1"), options);
        EXPECT_EQ(options.status, 200);
        EXPECT_TRUE(body == audio());
    }
}

TEST_F(FetchFaults, TenMegabyteAnswerArrivesWhole) {
    constexpr int kTenMegabytes = 10 * 1024 * 1024;
    FetchOptions options;
    options.timeoutSeconds = 20;
    const Bytes body = fetchUrl(audioUrl("size=" + std::to_string(kTenMegabytes)), options);
    EXPECT_EQ(options.status, 200);
    EXPECT_TRUE(body == audio(kTenMegabytes)) << body.size();
}

}  // namespace
}  // namespace zelbrin
