// The order rules, the spacing floor and the kiss-o'-death bans of a cycle, with a fake
// exchange, fake clocks and a fake sleeper.
#include <gtest/gtest.h>

#include "common/SntpFakes.h"
#include "support/Texts.h"
#include "timesync/RuVir.h"
#include "timesync/SntpPacket.h"

namespace kelvra {
namespace {

using test::SntpFakeUdp;
using Mode = SntpFakeUdp::Mode;

std::string Via(const std::string& server) {
    return std::string(texts::kViaServerOpen) + server + texts::kViaServerClose;
}
std::string Failed(const std::string& server) { return texts::kServerQueryFailed + server; }

class RuVirCycle : public ::testing::Test {
protected:
    RuVirCycle() : sleeper_(clock_), udp_(clock_) {}

    // A cycle over `entries` instead of the built-in servers.
    CRuVir& Make(const ServerList& entries, bool withWebStage = true) {
        ruvir_ = std::make_unique<CRuVir>(servers_, udp_, clock_, setter_, sleeper_,
                                          withWebStage ? &web_ : nullptr);
        servers_ = entries;
        return *ruvir_;
    }

    ServerList servers_;
    test::SntpFakeClock clock_;
    test::SntpFakeSleeper sleeper_;
    SntpFakeUdp udp_;
    test::SntpFakeClockSetter setter_;
    test::SntpFakeWebStage web_;
    std::unique_ptr<CRuVir> ruvir_;
};

TEST_F(RuVirCycle, ConstructionAppendsTheSevenBuiltInServersEachTime) {
    ServerList list{"mine.example"};
    CRuVir first(list, udp_, clock_, setter_, sleeper_);
    CRuVir second(list, udp_, clock_, setter_, sleeper_);
    ASSERT_EQ(list.size(), 15u);
    EXPECT_EQ(list[0], "mine.example");
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(list[1 + i], kBuiltInServers[i]);
        EXPECT_EQ(list[8 + i], kBuiltInServers[i]);
        EXPECT_GE(list[1 + i].size(), 13u);
        EXPECT_LE(list[1 + i].size(), 17u);
    }
}

TEST_F(RuVirCycle, TwoConstructionsGiveFourteenEntriesTriedInOrder) {
    ServerList list;
    CRuVir first(list, udp_, clock_, setter_, sleeper_);
    CRuVir second(list, udp_, clock_, setter_, sleeper_, &web_);
    ASSERT_EQ(list.size(), 14u);
    EXPECT_EQ(second.SyncTime(), Failed(kBuiltInServers[6]));
    EXPECT_EQ(udp_.Hosts(), list);
    EXPECT_EQ(web_.runs, 1);
}

TEST_F(RuVirCycle, FirstAnswerWithASetClockWins) {
    CRuVir& ruvir = Make({"aaa", "bbb", "ccc"});
    udp_.Set("aaa", Mode::Answer);
    udp_.Set("bbb", Mode::Answer);
    EXPECT_EQ(ruvir.SyncTime(), Via("aaa"));
    EXPECT_EQ(udp_.Hosts(), (std::vector<std::string>{"aaa"}));
    EXPECT_EQ(setter_.settings.size(), 1u);
    EXPECT_EQ(web_.runs, 0);
}

TEST_F(RuVirCycle, ServerPhaseOutcomes) {
    struct Case {
        const char* name;
        std::vector<Mode> modes;      // per entry aaa..ggg
        std::vector<bool> setResults;  // the clock setter's answers in turn
        std::string handedToWeb;       // empty with webRuns 0: success
        std::string result;
        int webRuns;
    };
    const ServerList entries{"aaa", "bbb", "ccc", "ddd", "eee", "fff", "ggg"};
    const std::vector<Mode> silent(7, Mode::Silent);
    const std::vector<Mode> all(7, Mode::Answer);
    const Case cases[] = {
        {"second answers", {Mode::Silent, Mode::Answer}, {true}, "", Via("bbb"), 0},
        {"none answers", silent, {true}, Failed("ggg"), Failed("ggg"), 1},
        {"clock never set", all, {false}, texts::kSetTimeFailed, texts::kSetTimeFailed, 1},
        {"failed setting moves on", {Mode::Answer, Mode::Answer}, {false, true}, "", Via("bbb"), 0},
        {"sixth answers unset, seventh silent",
         {Mode::Silent, Mode::Silent, Mode::Silent, Mode::Silent, Mode::Silent, Mode::Answer},
         {false}, Failed("ggg"), Failed("ggg"), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        udp_.Reset();
        clock_.Advance(60000);  // clear of the spacing floor of the previous case
        setter_ = test::SntpFakeClockSetter();
        setter_.results = c.setResults;
        web_ = test::SntpFakeWebStage();
        CRuVir& ruvir = Make(entries);
        for (size_t i = 0; i < c.modes.size(); ++i) udp_.Set(entries[i], c.modes[i]);
        EXPECT_EQ(ruvir.SyncTime(), c.result);
        EXPECT_EQ(web_.runs, c.webRuns);
        if (c.webRuns) {
            EXPECT_EQ(web_.handedText, c.handedToWeb);
        }
    }
}

TEST_F(RuVirCycle, WebStageDecidesTheTextWhenNoServerSetTheClock) {
    CRuVir& ruvir = Make({"aaa"});
    web_.replacement = texts::kViaWebTime;
    EXPECT_EQ(ruvir.SyncTime(), texts::kViaWebTime);
    EXPECT_EQ(web_.handedText, Failed("aaa"));
}

TEST_F(RuVirCycle, WithoutWebStageTheServerPhaseTextIsTheResult) {
    CRuVir& ruvir = Make({"aaa", "bbb"}, false);
    EXPECT_EQ(ruvir.SyncTime(), Failed("bbb"));
}

TEST_F(RuVirCycle, EntryOfTwoBytesStopsTheList) {
    // One code page 936 character is two bytes; three bytes are still tried.
    CRuVir& ruvir = Make({"abc", "\xB0\xA1", "good.example"});
    udp_.Set("good.example", Mode::Answer);
    EXPECT_EQ(ruvir.SyncTime(), Failed("abc"));
    EXPECT_EQ(udp_.Hosts(), (std::vector<std::string>{"abc"}));
    EXPECT_EQ(web_.handedText, Failed("abc"));
}

TEST_F(RuVirCycle, EmptyListOrShortFirstEntryHandsAnEmptyTextToTheWebStage) {
    for (const ServerList& list : {ServerList{}, ServerList{"ab", "good.example"}}) {
        web_ = test::SntpFakeWebStage();
        CRuVir& ruvir = Make(list);
        EXPECT_EQ(ruvir.SyncTime(), "");
        EXPECT_EQ(web_.runs, 1);
        EXPECT_EQ(web_.handedText, "");
    }
    EXPECT_TRUE(udp_.calls.empty());
}

TEST_F(RuVirCycle, AnsweredTimeIsTheOneApplied) {
    CRuVir& ruvir = Make({"aaa"});
    udp_.Set("aaa", Mode::Answer);
    clock_.wallMicros = 1704067200LL * 1000000 + 123856;  // 2024-01-01 00:00:00.123856 UTC
    ASSERT_EQ(ruvir.SyncTime(), Via("aaa"));
    ASSERT_EQ(setter_.settings.size(), 1u);
    SystemTime expected{};
    // The fake server stamps its reply 10 ms into the exchange; it is read 10 ms later, at
    // .143856 s, which is set as the nearest millisecond.
    ASSERT_TRUE(sntp::UnixMillisToLocal(1704067200LL * 1000 + 144, expected));
    const SystemTime& got = setter_.settings[0];
    EXPECT_EQ(got.wYear, expected.wYear);
    EXPECT_EQ(got.wDay, expected.wDay);
    EXPECT_EQ(got.wHour, expected.wHour);
    EXPECT_EQ(got.wSecond, expected.wSecond);
    EXPECT_EQ(got.wMilliseconds, expected.wMilliseconds);
}

// --- the 15-second floor ---

std::vector<int64_t> RequestTimes(const SntpFakeUdp& udp, const std::string& host) {
    std::vector<int64_t> times;
    for (const auto& call : udp.calls) {
        if (call.host == host) times.push_back(call.monotonicMillis);
    }
    return times;
}

TEST_F(RuVirCycle, NoEntryIsAskedTwiceWithinFifteenSeconds) {
    // A machine that may not set its clock: every server answers, every setting fails, and
    // cycles follow each other 5 s apart.
    CRuVir& ruvir = Make({"aaa", "bbb", "ccc"});
    for (const char* host : {"aaa", "bbb", "ccc"}) udp_.Set(host, Mode::Answer);
    setter_.succeed = false;
    for (int cycle = 0; cycle < 6; ++cycle) {
        EXPECT_EQ(ruvir.SyncTime(), texts::kSetTimeFailed);
        clock_.Advance(5000);
    }
    for (const char* host : {"aaa", "bbb", "ccc"}) {
        const auto times = RequestTimes(udp_, host);
        ASSERT_EQ(times.size(), 6u) << host;
        for (size_t i = 1; i < times.size(); ++i) {
            EXPECT_GE(times[i] - times[i - 1], sntp::kMinRequestSpacingMillis) << host;
        }
    }
    EXPECT_FALSE(sleeper_.sleeps.empty());
}

TEST_F(RuVirCycle, FloorIsPerEntryNotPerName) {
    // The same name twice in the list (two constructions) is two entries.
    CRuVir& ruvir = Make({"aaa", "aaa"});
    udp_.Set("aaa", Mode::Answer);
    setter_.succeed = false;
    ruvir.SyncTime();
    EXPECT_EQ(RequestTimes(udp_, "aaa").size(), 2u);
    EXPECT_TRUE(sleeper_.sleeps.empty());
}

TEST_F(RuVirCycle, NoWaitOnceFifteenSecondsHavePassed) {
    CRuVir& ruvir = Make({"aaa"});
    ruvir.SyncTime();
    clock_.Advance(sntp::kMinRequestSpacingMillis);
    ruvir.SyncTime();
    EXPECT_TRUE(sleeper_.sleeps.empty());
    EXPECT_EQ(udp_.calls.size(), 2u);
}

TEST_F(RuVirCycle, StopEndsTheWaitAndTheCycleAtOnce) {
    CRuVir& ruvir = Make({"aaa", "bbb"});
    udp_.Set("aaa", Mode::Answer);
    udp_.Set("bbb", Mode::Answer);
    setter_.succeed = false;
    ruvir.SyncTime();
    sleeper_.stop = true;
    const int64_t before = clock_.MonotonicMillis();
    EXPECT_EQ(ruvir.SyncTime(), Failed("aaa"));
    EXPECT_EQ(clock_.MonotonicMillis(), before);
    EXPECT_EQ(udp_.calls.size(), 2u);  // nothing more was sent
    EXPECT_EQ(web_.runs, 1);           // only the first cycle reached the web stage
}

// --- kiss-o'-death ---

TEST_F(RuVirCycle, AfterAStopNoServerIsAskedEvenWithoutAWait) {
    CRuVir& ruvir = Make({"aaa", "bbb"});
    sleeper_.stop = true;
    EXPECT_EQ(ruvir.SyncTime(), Failed("aaa"));
    EXPECT_TRUE(udp_.calls.empty());
    EXPECT_EQ(web_.runs, 0);
}

TEST_F(RuVirCycle, KissOfDeathBans) {
    struct Case {
        const char* code;
        int64_t askedAgainAfterMillis;  // 0: never
    };
    const Case cases[] = {{"DENY", 0}, {"RSTR", 0}, {"RATE", sntp::kRateKissBackoffMillis},
                          {"INIT", sntp::kMinRequestSpacingMillis}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        udp_.Reset();
        CRuVir& ruvir = Make({"kod", "next"});
        udp_.Set("kod", Mode::Kiss, c.code);
        udp_.Set("next", Mode::Answer);
        const int64_t kissed = clock_.MonotonicMillis();
        EXPECT_EQ(ruvir.SyncTime(), Via("next"));

        // Cycles every minute for a day; note when "kod" is asked again.
        int64_t askedAgain = -1;
        for (int minute = 1; minute <= 24 * 60 && askedAgain < 0; ++minute) {
            clock_.Advance(60000);
            ruvir.SyncTime();
            const auto times = RequestTimes(udp_, "kod");
            if (times.size() > 1) askedAgain = times[1] - kissed;
        }
        if (c.askedAgainAfterMillis == 0) {
            EXPECT_EQ(askedAgain, -1);
        } else {
            EXPECT_GE(askedAgain, c.askedAgainAfterMillis);
            EXPECT_LT(askedAgain, c.askedAgainAfterMillis + 61000);
        }
    }
}

TEST_F(RuVirCycle, BannedEntryFailsWithItsTextAndTheCycleMovesOn) {
    CRuVir& ruvir = Make({"aaa", "kod"});
    udp_.Set("kod", Mode::Kiss, "DENY");
    EXPECT_EQ(ruvir.SyncTime(), Failed("kod"));
    clock_.Advance(60000);
    EXPECT_EQ(ruvir.SyncTime(), Failed("kod"));
    EXPECT_EQ(udp_.Hosts(), (std::vector<std::string>{"aaa", "kod", "aaa"}));
}

}  // namespace
}  // namespace kelvra
