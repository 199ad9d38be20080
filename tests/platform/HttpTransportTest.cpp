#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>

#include "common/TestHttpServer.h"
#include "platform/Http.h"

namespace kelvra {
namespace {

using test::TestHttpReply;
using test::TestHttpServer;

// Short bounds, so that the silent-server case ends quickly.
platform::HttpLimits TestLimits() {
    platform::HttpLimits limits;
    limits.connectTimeoutMs = 1000;
    limits.exchangeTimeoutMs = 1500;
    return limits;
}

struct ExchangeCase {
    const char* name;
    TestHttpReply reply;
    int32_t status;
    std::string page;
};

std::string Body45() { return std::string("<date>2015-06-01</date><time>08:30:05</time>").substr(0, 45); }
std::string WithLength(size_t n) { return "Content-Length: " + std::to_string(n) + "\r\n"; }
TestHttpReply Once(const std::string& response) { return TestHttpReply{{response}, 0, false}; }

std::vector<ExchangeCase> Cases() {
    const std::string html = "<html><body>Not Found</body></html>";
    const std::string zeroAt10 = std::string("0123456789") + '\0' + "after";
    return {
        {"Status200", Once(TestHttpServer::Response(200, WithLength(45), Body45())), 200, Body45()},
        {"Status404WithHtml", Once(TestHttpServer::Response(404, WithLength(html.size()), html)), 404, html},
        {"NoContentLength", Once(TestHttpServer::Response(200, "", "<date>2015-06-01</date>")), 0, ""},
        {"ContentLengthNotANumber", Once(TestHttpServer::Response(200, "Content-Length: abc\r\n", "abc")), 0, ""},
        {"ContentLengthZero", Once(TestHttpServer::Response(200, WithLength(0), "")), 200, ""},
        {"ZeroByteInBody", Once(TestHttpServer::Response(200, WithLength(zeroAt10.size()), zeroAt10)), 200,
         "0123456789"},
        {"BodyLongerThanDeclared", Once(TestHttpServer::Response(200, WithLength(5), "HelloWorld")), 200, "Hello"},
        {"BodyShorterThanDeclared", Once(TestHttpServer::Response(200, WithLength(20), "Hello")), 200, "Hello"},
        {"BodyInPiecesIsReadWhole",
         TestHttpReply{{TestHttpServer::Response(200, WithLength(10), "Hello"), "World"}, 300, false}, 200,
         "HelloWorld"},
        {"DeclaredLengthArrivedConnectionStaysOpen",
         TestHttpReply{{TestHttpServer::Response(200, WithLength(5), "Hello")}, 0, true}, 200, "Hello"},
        {"ContentLengthZeroConnectionStaysOpen",
         TestHttpReply{{TestHttpServer::Response(204, WithLength(0), "")}, 0, true}, 204, ""},
        {"Declared4GB", Once(TestHttpServer::Response(200, WithLength(4294967295u), "x")), 0, ""},
        {"DeclaredBeyond32Bits", Once(TestHttpServer::Response(200, WithLength(4294967296ull + 5), "12345")), 0, ""},
        {"DeclaredJustOverOneMiB", Once(TestHttpServer::Response(200, WithLength(1024 * 1024 + 1), "x")), 0, ""},
    };
}

void PrintTo(const ExchangeCase& c, std::ostream* os) { *os << c.name; }

class HttpExchange : public ::testing::TestWithParam<ExchangeCase> {};

TEST_P(HttpExchange, StatusAndPageFollowTheResponse) {
    const ExchangeCase& c = GetParam();
    TestHttpServer server(c.reply);
    ASSERT_NE(server.Port(), 0);
    auto http = platform::MakeSystemHttp(TestLimits());
    std::string page = "stale";
    const int32_t status = http->FetchPage(server.Url(), page);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(page, c.page);
    EXPECT_EQ(server.Connections(), 1);
}

INSTANTIATE_TEST_SUITE_P(Responses, HttpExchange, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<ExchangeCase>& info) { return info.param.name; });

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    return s;
}

TEST(HttpTransport, SendsOneHttp10GetWithKeepAlive) {
    TestHttpServer server(Once(TestHttpServer::Response(200, WithLength(2), "ok")));
    auto http = platform::MakeSystemHttp(TestLimits());
    std::string page;
    ASSERT_EQ(http->FetchPage(server.Url("/other/gettime.asp"), page), 200);
    const std::string request = Lower(server.FirstRequest());
    EXPECT_EQ(request.rfind("get /other/gettime.asp http/1.0\r\n", 0), 0u) << request;
    EXPECT_NE(request.find("\r\nconnection: keep-alive\r\n"), std::string::npos) << request;
}

TEST(HttpTransport, ServerThatNeverAnswersEndsWithinTheTimeOut) {
    TestHttpServer server(TestHttpReply{{}, 0, true});
    auto http = platform::MakeSystemHttp(TestLimits());
    std::string page = "stale";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(http->FetchPage(server.Url(), page), -1);
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(page, "");
    EXPECT_LT(elapsed, std::chrono::seconds(8));
}

TEST(HttpTransport, HeadersWithoutBodyThenSilenceEndsWithinTheTimeOut) {
    TestHttpServer server(TestHttpReply{{TestHttpServer::Response(200, WithLength(10), "abc")}, 0, true});
    auto http = platform::MakeSystemHttp(TestLimits());
    std::string page = "stale";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(http->FetchPage(server.Url(), page), -1);
    EXPECT_EQ(page, "");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

TEST(HttpTransport, RefusedPortIsAPlatformFailure) {
    const uint16_t port = test::httpsock::UnusedLoopbackPort();
    ASSERT_NE(port, 0);
    auto http = platform::MakeSystemHttp(TestLimits());
    std::string page = "stale";
    EXPECT_EQ(http->FetchPage("http://127.0.0.1:" + std::to_string(port) + "/other/gettime.asp", page), -1);
    EXPECT_EQ(page, "");
}

TEST(HttpTransport, UnparsableUrlEndsEarlyWithoutTraffic) {
    TestHttpServer server(Once(TestHttpServer::Response(200, WithLength(2), "ok")));
    const std::string port = std::to_string(server.Port());
    auto http = platform::MakeSystemHttp(TestLimits());
    for (const std::string& url : {std::string("not a url"), "http//127.0.0.1:" + port + "/other/gettime.asp",
                                  std::string("http:///other/gettime.asp"), std::string("")}) {
        SCOPED_TRACE(url);
        std::string page = "stale";
        EXPECT_EQ(http->FetchPage(url, page), 0);
        EXPECT_EQ(page, "");
    }
    EXPECT_EQ(server.Connections(), 0);
}

}  // namespace
}  // namespace kelvra
