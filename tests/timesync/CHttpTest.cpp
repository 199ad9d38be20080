#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "common/TestHttpServer.h"
#include "platform/Http.h"
#include "platform/Threads.h"
#include "timesync/CHttp.h"

namespace kelvra {
namespace {

// Answers with the next of its scripted results, after a short delay, so the caller must poll.
class ScriptedTransport final : public platform::IHttpTransport {
public:
    struct Result {
        int32_t status;
        std::string page;
    };
    explicit ScriptedTransport(std::vector<Result> results) : results_(std::move(results)) {}
    int32_t FetchPage(const std::string& url, std::string& page) override {
        lastUrl = url;
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        const Result& r = results_.at(calls_++);
        page = r.page;
        return r.status;
    }
    std::string lastUrl;

private:
    std::vector<Result> results_;
    size_t calls_ = 0;
};

class ThrowingTransport final : public platform::IHttpTransport {
public:
    int32_t FetchPage(const std::string&, std::string& page) override {
        page = "partial";
        throw std::runtime_error("platform failure");
    }
};

TEST(CHttp, ReturnsTheFetchThreadsStatusAndPage) {
    ScriptedTransport transport({{404, "<html>missing</html>"}});
    std::vector<uint32_t> sleeps;
    CHttp http(transport, platform::StartDetachedThread, [&](uint32_t ms) {
        sleeps.push_back(ms);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    });
    std::string page = "old";
    EXPECT_EQ(http.Get("http://example.invalid/other/gettime.asp", page), 404);
    EXPECT_EQ(page, "<html>missing</html>");
    EXPECT_EQ(transport.lastUrl, "http://example.invalid/other/gettime.asp");
    ASSERT_FALSE(sleeps.empty());  // the fetch took longer than one poll
    for (uint32_t ms : sleeps) EXPECT_EQ(ms, CHttp::kPollMs);
}

TEST(CHttp, SecondGetReturnsOnlyTheSecondFetch) {
    ScriptedTransport transport({{200, "first page"}, {0, ""}});
    CHttp http(transport);
    std::string page;
    EXPECT_EQ(http.Get("http://a/", page), 200);
    EXPECT_EQ(page, "first page");
    EXPECT_EQ(http.Get("http://a/", page), 0);
    EXPECT_EQ(page, "");
}

TEST(CHttp, ThreadThatCannotStartGivesMinusOneAndEmptyPage) {
    ScriptedTransport transport({});
    bool slept = false;
    CHttp http(transport, [](std::function<void()>) { return false; }, [&](uint32_t) { slept = true; });
    std::string page = "old";
    EXPECT_EQ(http.Get("http://a/", page), -1);
    EXPECT_EQ(page, "");
    EXPECT_TRUE(transport.lastUrl.empty());
    EXPECT_FALSE(slept);
}

TEST(CHttp, FailureRaisedOnTheFetchThreadGivesMinusOneAndEmptyPage) {
    ThrowingTransport transport;
    CHttp http(transport);
    std::string page = "old";
    EXPECT_EQ(http.Get("http://a/", page), -1);
    EXPECT_EQ(page, "");
}

// Objects created and destroyed right after each fetch: the fetch threads, still winding
// down, must touch nothing of them (the sanitizer builds see it if they do).
TEST(CHttp, ObjectMayBeDestroyedAsSoonAsGetReturns) {
    std::vector<ScriptedTransport::Result> results(8, {200, "page"});
    ScriptedTransport transport(results);
    for (int i = 0; i < 8; ++i) {
        auto http = std::make_unique<CHttp>(transport, platform::StartDetachedThread, [](uint32_t) {
            std::this_thread::yield();
        });
        std::string page;
        EXPECT_EQ(http->Get("http://a/", page), 200);
        http.reset();
    }
}

TEST(CHttp, FetchesFromAServerThroughTheSystemTransport) {
    const std::string body = "<date>2015-06-01</date><time>08:30:05</time>";
    test::TestHttpServer server(test::TestHttpReply{
        {test::TestHttpServer::Response(200, "Content-Length: " + std::to_string(body.size()) + "\r\n", body)}});
    auto transport = platform::MakeSystemHttp(platform::HttpLimits{});
    CHttp http(*transport);
    std::string page;
    EXPECT_EQ(http.Get(server.Url(), page), 200);
    EXPECT_EQ(page, body);
}

}  // namespace
}  // namespace kelvra
