// SNTP exchanges over real UDP sockets with a test server on 127.0.0.1.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <iostream>

#include "common/SntpFakes.h"
#include "common/SntpTestServer.h"
#include "common/TestTime.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "platform/Udp.h"
#include "support/Texts.h"
#include "timesync/RuVir.h"

namespace kelvra {
namespace {

using test::SntpReplyKind;
using test::SntpServerBehaviour;
using test::SntpTestServer;

const char* SntpStatusName(SntpStatus status) {
    switch (status) {
        case SntpStatus::Ok: return "ok";
        case SntpStatus::NoAddress: return "no address";
        case SntpStatus::Timeout: return "time-out";
        case SntpStatus::Refused: return "port closed";
        case SntpStatus::KissOfDeath: return "kiss-o'-death";
        case SntpStatus::Unsynchronised: return "unsynchronised";
        case SntpStatus::BadMode: return "bad mode";
        case SntpStatus::ShortReply: return "short reply";
        case SntpStatus::BadOriginate: return "bad originate";
        case SntpStatus::ZeroTransmit: return "zero transmit";
        case SntpStatus::SocketError: return "socket error";
        case SntpStatus::SendError: return "send error";
        case SntpStatus::ReceiveError: return "receive error";
        case SntpStatus::BadTime: return "bad time";
    }
    return "?";
}


int64_t ElapsedMicros(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                 since)
        .count();
}

int64_t ElapsedMillis(std::chrono::steady_clock::time_point since) { return ElapsedMicros(since) / 1000; }

class SntpQuery : public ::testing::Test {
protected:
    SntpOutcome Query(const SntpTestServer& server, SystemTime& time,
                      const std::string& host = "127.0.0.1") {
        CRuVir ruvir(servers_, platform::SystemUdp(), platform::SystemClock(), setter_, sleeper_,
                     nullptr, server.port());
        return ruvir.QueryServerDetailed(host, time);
    }

    ServerList servers_;
    test::SntpFakeClockSetter setter_;
    platform::StoppableSleeper sleeper_;
};

TEST_F(SntpQuery, CorrectReplyGivesTheServersTimeAtReceipt) {
    SntpServerBehaviour b;
    b.clockOffsetMicros = 3 * 3600 * 1000000LL + 250000;  // 3 h 0.25 s ahead
    SntpTestServer server(b);
    ASSERT_TRUE(server.ok());

    SystemTime time{};
    const auto start = std::chrono::steady_clock::now();
    const SntpOutcome outcome = Query(server, time);
    const int64_t spent = ElapsedMicros(start);
    const int64_t after = platform::SystemClock().WallMicros() / 1000;
    std::cout << "[ figure ] one exchange with a local server: " << spent << " us\n";

    ASSERT_EQ(outcome.status, SntpStatus::Ok) << SntpStatusName(outcome.status);
    EXPECT_EQ(outcome.stratum, 2);
    EXPECT_GE(outcome.delayMillis, 0);
    EXPECT_LT(outcome.delayMillis, 200);
    // An SNTP offset is right to within half the round trip (the paths may be unequal).
    EXPECT_NEAR(double(outcome.offsetMillis), 3 * 3600 * 1000.0 + 250,
                double(outcome.delayMillis) / 2 + 2);
    EXPECT_NEAR(double(kelvra::test::LocalMillisOf(time)), double(after + b.clockOffsetMicros / 1000), 50);

    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 1u);
    ASSERT_EQ(requests[0].size(), 48u);
    EXPECT_EQ(requests[0][0], 0x0B);
    for (size_t i = 1; i < 40; ++i) EXPECT_EQ(requests[0][i], 0) << "byte " << i;
}

TEST_F(SntpQuery, EachRequestCarriesAFreshTransmitNonce) {
    SntpTestServer server;
    ASSERT_TRUE(server.ok());
    SystemTime time{};
    ASSERT_EQ(Query(server, time).status, SntpStatus::Ok);
    ASSERT_EQ(Query(server, time).status, SntpStatus::Ok);
    const auto requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    const std::vector<uint8_t> a(requests[0].begin() + 40, requests[0].end());
    const std::vector<uint8_t> b(requests[1].begin() + 40, requests[1].end());
    EXPECT_NE(a, b);
    EXPECT_NE(a, std::vector<uint8_t>(8, 0));
}

TEST_F(SntpQuery, HostNameGoesThroughTheLookup) {
    SntpTestServer server;
    ASSERT_TRUE(server.ok());
    SystemTime time{};
    EXPECT_EQ(Query(server, time, "localhost").status, SntpStatus::Ok);
}

struct BadReplyCase {
    const char* name;
    SntpReplyKind kind;
    size_t length;
    const char* kissCode;
    SntpStatus expected;
};

class SntpQueryReply : public SntpQuery, public ::testing::WithParamInterface<BadReplyCase> {};

TEST_P(SntpQueryReply, IsJudgedAndLeavesTheRecordAloneWhenRefused) {
    const BadReplyCase& c = GetParam();
    SntpServerBehaviour b;
    b.kind = c.kind;
    b.length = c.length;
    b.kissCode = c.kissCode;
    SntpTestServer server(b);
    ASSERT_TRUE(server.ok());

    SystemTime time{};
    time.wYear = 1999;
    const SntpOutcome outcome = Query(server, time);
    EXPECT_EQ(outcome.status, c.expected) << SntpStatusName(outcome.status);
    if (c.expected == SntpStatus::KissOfDeath) {
        EXPECT_EQ(outcome.kissCode, c.kissCode);
    }
    if (c.expected != SntpStatus::Ok) {
        EXPECT_EQ(time.wYear, 1999);
    } else {
        EXPECT_NE(time.wYear, 1999);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SntpQueryReply,
    ::testing::Values(
        BadReplyCase{"Forty", SntpReplyKind::Short, 40, "", SntpStatus::ShortReply},
        BadReplyCase{"FortySeven", SntpReplyKind::Short, 47, "", SntpStatus::ShortReply},
        BadReplyCase{"LongReplyKeepsFirst48", SntpReplyKind::Long, 68, "", SntpStatus::Ok},
        BadReplyCase{"OversizedDatagram", SntpReplyKind::Long, 1400, "", SntpStatus::Ok},
        BadReplyCase{"ClientMode", SntpReplyKind::ClientMode, 48, "", SntpStatus::BadMode},
        BadReplyCase{"LeapThree", SntpReplyKind::Unsynchronised, 48, "", SntpStatus::Unsynchronised},
        BadReplyCase{"Stratum16", SntpReplyKind::Stratum16, 48, "", SntpStatus::Unsynchronised},
        BadReplyCase{"KissDeny", SntpReplyKind::Kiss, 48, "DENY", SntpStatus::KissOfDeath},
        BadReplyCase{"KissRstr", SntpReplyKind::Kiss, 48, "RSTR", SntpStatus::KissOfDeath},
        BadReplyCase{"KissRate", SntpReplyKind::Kiss, 48, "RATE", SntpStatus::KissOfDeath},
        BadReplyCase{"ZeroTransmit", SntpReplyKind::ZeroTransmit, 48, "", SntpStatus::ZeroTransmit},
        BadReplyCase{"WrongOriginate", SntpReplyKind::WrongOriginate, 48, "", SntpStatus::BadOriginate}),
    [](const ::testing::TestParamInfo<BadReplyCase>& info) { return std::string(info.param.name); });

TEST_F(SntpQuery, NetworkDelayIsCorrected) {
    // 250 ms each way and 100 ms inside the server: an uncorrected reading would be 250 ms
    // behind the server's clock at receipt.
    SntpServerBehaviour b;
    b.clockOffsetMicros = -90 * 1000000LL;
    b.inboundDelayMillis = 250;
    b.outboundDelayMillis = 250;
    b.processingMillis = 100;
    SntpTestServer server(b);
    ASSERT_TRUE(server.ok());

    SystemTime time{};
    const SntpOutcome outcome = Query(server, time);
    const int64_t after = platform::SystemClock().WallMicros() / 1000;
    ASSERT_EQ(outcome.status, SntpStatus::Ok) << SntpStatusName(outcome.status);
    EXPECT_NEAR(double(outcome.delayMillis), 500.0, 60);
    // The held 250 + 250 ms are symmetric; only the rest of the round trip can be unequal.
    EXPECT_NEAR(double(outcome.offsetMillis), -90000.0, double(std::max<int64_t>(outcome.delayMillis - 500, 0)) / 2 + 5);
    EXPECT_NEAR(double(kelvra::test::LocalMillisOf(time)), double(after - 90000), 40);
}

TEST_F(SntpQuery, EraRuleAppliesToTheServersTimestamp) {
    // A server whose clock reads the first second of the next era (transmit seconds 0).
    SntpServerBehaviour b;
    b.fixedTime = true;
    b.fixedTimestamp = 0x0000000080000000ULL;  // seconds 0, half a second
    SntpTestServer server(b);
    ASSERT_TRUE(server.ok());
    SystemTime time{};
    ASSERT_EQ(Query(server, time).status, SntpStatus::Ok);
    const int64_t serverMillis = 2085978496LL * 1000 + 500;
    EXPECT_NEAR(double(kelvra::test::LocalMillisOf(time)), double(serverMillis), 50);
}

TEST_F(SntpQuery, ClosedPortFailsAtOnce) {
    ServerList servers;
    CRuVir ruvir(servers, platform::SystemUdp(), platform::SystemClock(), setter_, sleeper_, nullptr,
                 test::SntpClosedPort());
    SystemTime time{};
    const auto start = std::chrono::steady_clock::now();
    const SntpOutcome outcome = ruvir.QueryServerDetailed("127.0.0.1", time);
    const int64_t spent = ElapsedMicros(start);
    std::cout << "[ figure ] closed port fails after " << spent << " us\n";
    EXPECT_EQ(outcome.status, SntpStatus::Refused) << SntpStatusName(outcome.status);
    EXPECT_LT(spent, 1000000);
    EXPECT_FALSE(ruvir.QueryServer("127.0.0.1", time));
}

// The two cases that wait out the product's 5-second receive time-out.
struct SilentCase {
    const char* name;
    SntpReplyKind kind;
};

class SntpQuerySilent : public SntpQuery, public ::testing::WithParamInterface<SilentCase> {};

TEST_P(SntpQuerySilent, TimesOutAfterFiveSeconds) {
    SntpServerBehaviour b;
    b.kind = GetParam().kind;
    SntpTestServer server(b);
    ASSERT_TRUE(server.ok());
    SystemTime time{};
    const auto start = std::chrono::steady_clock::now();
    const SntpOutcome outcome = Query(server, time);
    const int64_t spent = ElapsedMillis(start);
    std::cout << "[ figure ] " << GetParam().name << ": fails after " << spent << " ms\n";
    EXPECT_EQ(outcome.status, SntpStatus::Timeout) << SntpStatusName(outcome.status);
    EXPECT_GE(spent, 4900);
    EXPECT_LT(spent, 7000);
    EXPECT_EQ(server.Requests().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Cases, SntpQuerySilent,
                         ::testing::Values(SilentCase{"SilentServer", SntpReplyKind::Never},
                                           SilentCase{"ReplyFromAnotherSocket",
                                                      SntpReplyKind::FromOtherSocket}),
                         [](const ::testing::TestParamInfo<SilentCase>& info) {
                             return std::string(info.param.name);
                         });

TEST_F(SntpQuery, CycleSetsTheClockFromTheFirstLocalServer) {
    SntpTestServer server;
    ASSERT_TRUE(server.ok());
    ServerList servers;
    CRuVir ruvir(servers, platform::SystemUdp(), platform::SystemClock(), setter_, sleeper_, nullptr,
                 server.port());
    servers = {"127.0.0.1"};
    EXPECT_EQ(ruvir.SyncTime(), std::string(texts::kViaServerOpen) + "127.0.0.1]");
    ASSERT_EQ(setter_.settings.size(), 1u);
}

}  // namespace
}  // namespace kelvra
