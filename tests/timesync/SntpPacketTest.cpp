#include <gtest/gtest.h>

#include <cstring>
#include <ctime>

#include "platform/Clock.h"
#include "timesync/SntpPacket.h"

namespace kelvra::sntp {
namespace {

void PutWord(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

TEST(SntpPacket, RequestIsVersionOneClientWithOurNonceAsTransmit) {
    uint8_t packet[kPacketBytes];
    std::memset(packet, 0xEE, sizeof packet);
    BuildRequest(0x0102030405060708ULL, packet);
    EXPECT_EQ(packet[0], 0x0B);
    for (size_t i = 1; i < 40; ++i) EXPECT_EQ(packet[i], 0) << "byte " << i;
    const uint8_t nonce[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(0, std::memcmp(packet + 40, nonce, 8));
}

TEST(SntpPacket, EraRuleMapsEveryTransmitSecondIntoNineteenSeventyToTwentyOneOSix) {
    struct Case {
        uint32_t ntp;
        int64_t unix;
    } cases[] = {
        {2208988800u, 0},                // 1970-01-01 00:00:00 UTC
        {3913056000u, 1704067200},       // 2024-01-01 00:00:00 UTC
        {0u, 2085978496},                // 2036-02-07 06:28:16 UTC, the next era
        {2208988799u, 4294967295LL},     // 2106-02-07 06:28:15 UTC
        {4294967295u, 2085978495},       // 2036-02-07 06:28:15 UTC, the last of this era
    };
    for (const Case& c : cases) {
        EXPECT_EQ(NtpSecondsToUnix(c.ntp), c.unix) << c.ntp;
        EXPECT_EQ(NtpToUnixMicros(uint64_t(c.ntp) << 32), c.unix * 1000000) << c.ntp;
    }
}

TEST(SntpPacket, MillisecondsAreTheTruncatedFraction) {
    EXPECT_EQ(FractionToMillis(0), 0u);
    EXPECT_EQ(FractionToMillis(0x80000000u), 500u);
    EXPECT_EQ(FractionToMillis(0xFFFFFFFFu), 999u);
    EXPECT_EQ(FractionToMillis(4294968u), 1u);  // just above 1 ms
    EXPECT_EQ(FractionToMillis(4294967u), 0u);  // just below
}

TEST(SntpPacket, DelayCorrectionTakesHalfTheRoundTripOutOfTheOffset) {
    // Server 10 s ahead; 40 ms out, 60 ms back, 5 ms spent in the server.
    const int64_t t1 = 1000000000;
    const int64_t t2 = t1 + 10000000 + 40000;
    const int64_t t3 = t2 + 5000;
    const int64_t t4 = t1 + 40000 + 5000 + 60000;
    EXPECT_EQ(RoundTripMicros(t1, t2, t3, t4), 100000);
    EXPECT_EQ(OffsetMicros(t1, t2, t3, t4), 10000000 - 10000);  // asymmetry shows as half its size
    // A symmetric path: the offset is exact, and the server's time at receipt is t4 + offset.
    const int64_t s2 = t1 + 10000000 + 50000, s3 = s2, s4 = t1 + 100000;
    EXPECT_EQ(OffsetMicros(t1, s2, s3, s4), 10000000);
    EXPECT_EQ(s4 + OffsetMicros(t1, s2, s3, s4), s3 + 50000);
    // Our clock far ahead of the server's: a negative offset.
    EXPECT_EQ(OffsetMicros(5000000, 1000000, 1000000, 5000000), -4000000);
}

TEST(SntpPacket, LocalRecordMatchesThePlatformConversion) {
    const int64_t seconds[] = {0, 1704067200, 2085978496, 4294967295LL, 1718900000};
    for (int64_t s : seconds) {
        SystemTime t;
        ASSERT_TRUE(UnixMillisToLocal(s * 1000 + 999, t)) << s;
        std::tm tm{};
        ASSERT_TRUE(platform::ToLocalTime(s, tm));
        EXPECT_EQ(t.wYear, tm.tm_year + 1900) << s;
        EXPECT_EQ(t.wMonth, tm.tm_mon + 1) << s;
        EXPECT_EQ(t.wDay, tm.tm_mday) << s;
        EXPECT_EQ(t.wDayOfWeek, tm.tm_wday) << s;
        EXPECT_EQ(t.wHour, tm.tm_hour) << s;
        EXPECT_EQ(t.wMinute, tm.tm_min) << s;
        EXPECT_EQ(t.wSecond, tm.tm_sec) << s;
        EXPECT_EQ(t.wMilliseconds, 999) << s;
    }
}

struct ReplyCase {
    const char* name;
    size_t length;
    uint8_t first;
    uint8_t stratum;
    bool echoOriginate;
    bool zeroTransmit;
    const char* refId;
    ReplyVerdict verdict;
};

class SntpReplyCheck : public ::testing::TestWithParam<ReplyCase> {};

TEST_P(SntpReplyCheck, JudgesTheReply) {
    const ReplyCase& c = GetParam();
    const uint64_t nonce = 0xA1B2C3D4E5F60718ULL;
    uint8_t reply[64] = {};
    reply[0] = c.first;
    reply[1] = c.stratum;
    std::memcpy(reply + 12, c.refId, 4);
    PutWord(reply + 24, uint32_t(nonce >> 32));
    PutWord(reply + 28, uint32_t(nonce) ^ (c.echoOriginate ? 0u : 1u));
    PutWord(reply + 32, 3913056000u);
    if (!c.zeroTransmit) PutWord(reply + 40, 3913056001u);
    ReplyFields fields;
    EXPECT_EQ(CheckReply(reply, c.length, nonce, fields), c.verdict);
    if (c.verdict == ReplyVerdict::KissOfDeath) {
        EXPECT_EQ(fields.kissCode, std::string(c.refId, 4));
    }
    if (c.verdict == ReplyVerdict::Ok) {
        EXPECT_EQ(fields.transmit, uint64_t(3913056001u) << 32);
        EXPECT_EQ(fields.receive, uint64_t(3913056000u) << 32);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SntpReplyCheck,
    ::testing::Values(
        ReplyCase{"Good", 48, 0x24, 2, true, false, "GPS\0", ReplyVerdict::Ok},
        ReplyCase{"VersionOneReply", 48, 0x0C, 1, true, false, "PPS\0", ReplyVerdict::Ok},
        ReplyCase{"LongerReplyReadAsFirst48", 64, 0x24, 2, true, false, "GPS\0", ReplyVerdict::Ok},
        ReplyCase{"Stratum15", 48, 0x24, 15, true, false, "GPS\0", ReplyVerdict::Ok},
        ReplyCase{"FortySeven", 47, 0x24, 2, true, false, "GPS\0", ReplyVerdict::ShortReply},
        ReplyCase{"Forty", 40, 0x24, 2, true, false, "GPS\0", ReplyVerdict::ShortReply},
        ReplyCase{"Empty", 0, 0x24, 2, true, false, "GPS\0", ReplyVerdict::ShortReply},
        ReplyCase{"ClientMode", 48, 0x23, 2, true, false, "GPS\0", ReplyVerdict::BadMode},
        ReplyCase{"BroadcastMode", 48, 0x25, 2, true, false, "GPS\0", ReplyVerdict::BadMode},
        ReplyCase{"WrongOriginate", 48, 0x24, 2, false, false, "GPS\0", ReplyVerdict::BadOriginate},
        ReplyCase{"KissDeny", 48, 0x24, 0, true, false, "DENY", ReplyVerdict::KissOfDeath},
        ReplyCase{"KissRate", 48, 0xE4, 0, true, false, "RATE", ReplyVerdict::KissOfDeath},
        ReplyCase{"KissFromStranger", 48, 0x24, 0, false, false, "DENY", ReplyVerdict::BadOriginate},
        ReplyCase{"LeapThree", 48, 0xE4, 2, true, false, "GPS\0", ReplyVerdict::Unsynchronised},
        ReplyCase{"Stratum16", 48, 0x24, 16, true, false, "GPS\0", ReplyVerdict::Unsynchronised},
        ReplyCase{"ZeroTransmit", 48, 0x24, 2, true, true, "GPS\0", ReplyVerdict::ZeroTransmit}),
    [](const ::testing::TestParamInfo<ReplyCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kelvra::sntp
