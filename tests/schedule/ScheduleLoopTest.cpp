#include <gtest/gtest.h>

#include <limits>
#include <new>
#include <stdexcept>

#include "schedule/ScheduleLoop.h"
#include "schedule/ScheduleFakes.h"
#include "support/Texts.h"

namespace {

using namespace kelvra;
using kelvra::test::FakeCycle;
using kelvra::test::FakeSleeper;
using kelvra::test::FakeStore;

const char kNow[] = "2024-03-05 09:07:03";

class ScheduleLoopTest : public ::testing::Test {
protected:
    ScheduleLoop Loop() {
        return ScheduleLoop(store, cycle, [this](const std::string& line) { log.push_back(line); },
                            [] { return std::string(kNow); }, sleeper);
    }
    std::vector<std::pair<std::string, std::string>> WritesOf(const std::string& key) {
        std::vector<std::pair<std::string, std::string>> out;
        for (const auto& w : store.Writes())
            if (w.first == key) out.push_back(w);
        return out;
    }
    FakeStore store;
    FakeCycle cycle;
    FakeSleeper sleeper;
    std::vector<std::string> log;
};

TEST(WaitSteps, FollowTheAtolRulesWidenedTo64Bits) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    const std::pair<const char*, int64_t> cases[] = {
        {"", 600},
        {"0", 600},
        {"abc", 600},
        {"1", 60},
        {"10", 600},
        {"10abc", 600},
        {"1440", 86400},
        {"-5", -300},
        {" 7", 420},
        {"\t\r\n 3", 180},
        {"+5", 300},
        {"-0", 600},
        {"- 3", 600},
        {"--3", 600},
        {"3 4", 180},
        {"2147483647", kMax * 60},
        {"2147483648", kMax * 60},
        {"99999999999", kMax * 60},
        {"99999999999999999999999999", kMax * 60},
        {"-2147483648", kMin * 60},
        {"-99999999999", kMin * 60},
    };
    for (const auto& c : cases) EXPECT_EQ(WaitStepsOf(c.first), c.second) << "[" << c.first << "]";
}

TEST(SuccessText, IsEmptyOrBeginsWithThePrefix) {
    const std::string prefix = texts::kSuccessPrefix;
    const std::pair<std::string, bool> cases[] = {
        {"", true},
        {texts::kViaServerOpen + std::string("ntp.example]") , true},
        {texts::kViaWebTime, true},
        {prefix, true},
        {texts::kServerQueryFailed + std::string("ntp.example"), false},
        {"x" + prefix, false},
        {" " + prefix, false},
        {prefix.substr(0, 2), false},
        {texts::kSetTimeFailed, false},
    };
    for (const auto& c : cases) EXPECT_EQ(IsSuccessText(c.first), c.second) << c.first;
}

TEST_F(ScheduleLoopTest, OnlyStateZeroPausesAndAPauseReadsNothingElse) {
    struct Case {
        const char* state;  // nullptr: key missing
        bool runs;
    };
    const Case cases[] = {{"1", true}, {"00", true}, {"off", true}, {"", true}, {nullptr, true}, {"0", false}, {" 0", true}};
    for (const auto& c : cases) {
        FakeStore s;
        FakeCycle cy;
        FakeSleeper sl;
        if (c.state) s.Set(kKeyState, c.state);
        s.Set(kKeyIntervalMin, "-1");  // no wait, so a run turn sleeps nothing
        s.Set(kKeyFresh, "1");
        ScheduleLoop loop(s, cy, [](const std::string&) {}, [] { return std::string(kNow); }, sl);
        loop.RunTurn();
        const std::string name = c.state ? c.state : "<missing>";
        EXPECT_EQ(cy.calls, c.runs ? 1 : 0) << name;
        if (!c.runs) {
            EXPECT_EQ(sl.sleeps, std::vector<uint32_t>{kPauseMillis}) << name;
            EXPECT_EQ(s.reads, std::vector<std::string>{kKeyState}) << name;
            EXPECT_TRUE(s.Writes().empty()) << name;
            EXPECT_EQ(s.Get(kKeyFresh), "1") << name;
        }
    }
}

TEST_F(ScheduleLoopTest, IntervalMinSetsTheStepsWaitedAfterASuccess) {
    const std::pair<const char*, size_t> cases[] = {
        {nullptr, 600}, {"", 600}, {"0", 600}, {"abc", 600}, {"1", 60}, {"10", 600}, {"10abc", 600},
        {"1440", 86400}, {"-5", 0}, {"-99999999999", 0}, {" 7", 420},
    };
    for (const auto& c : cases) {
        FakeStore s;
        FakeCycle cy;
        FakeSleeper sl;
        if (c.first) s.Set(kKeyIntervalMin, c.first);
        ScheduleLoop loop(s, cy, [](const std::string&) {}, [] { return std::string(kNow); }, sl);
        loop.RunTurn();
        const std::string name = c.first ? c.first : "<missing>";
        EXPECT_EQ(sl.sleeps.size(), c.second) << name;
        EXPECT_EQ(sl.Count(kStepMillis), c.second) << name;
    }
}

TEST_F(ScheduleLoopTest, AHugeIntervalIsOnlyEndedByFresh) {
    store.Set(kKeyIntervalMin, "99999999999");
    store.onRead = [this](const std::string& key) {
        if (key == kKeyFresh && sleeper.sleeps.size() == 100000) store.Set(kKeyFresh, "1");
    };
    auto loop = Loop();
    loop.RunTurn();
    EXPECT_EQ(sleeper.sleeps.size(), 100000u);
    EXPECT_EQ(store.Get(kKeyFresh), "0");
}

TEST_F(ScheduleLoopTest, ResultTextDecidesLogLineLastAndWhatFollows) {
    const std::string viaServer = texts::kViaServerOpen + std::string("ntp.example]");
    const std::string failed = texts::kServerQueryFailed + std::string("ntp.example");
    const std::string laterPrefix = "x" + std::string(texts::kSuccessPrefix);
    struct Case {
        std::string result;
        std::string line;
        bool success;
    };
    const Case cases[] = {
        {viaServer, texts::kSyncOkOpen + viaServer + texts::kSyncOkClose, true},
        {"", texts::kSyncOk, true},
        {failed, texts::kSyncFailed + failed, false},
        {laterPrefix, texts::kSyncFailed + laterPrefix, false},
    };
    for (const auto& c : cases) {
        FakeStore s;
        FakeCycle cy;
        FakeSleeper sl;
        std::vector<std::string> lines;
        s.Set(kKeyIntervalMin, "1");
        s.Set(kKeyLast, "old");
        cy.results = {c.result};
        ScheduleLoop loop(s, cy, [&](const std::string& line) { lines.push_back(line); },
                          [] { return std::string(kNow); }, sl);
        loop.RunTurn();
        EXPECT_EQ(lines, std::vector<std::string>{c.line}) << c.result;
        EXPECT_EQ(s.Get(kKeyLast), c.success ? kNow : "old") << c.result;
        if (c.success) {
            EXPECT_EQ(sl.Count(kStepMillis), 60u) << c.result;
            EXPECT_EQ(sl.sleeps.size(), 60u) << c.result;
        } else {
            EXPECT_EQ(sl.sleeps, std::vector<uint32_t>{kRetryMillis}) << c.result;
        }
    }
}

TEST_F(ScheduleLoopTest, LogZeroSilencesResultLinesButLastIsStillWritten) {
    store.Set(kKeyIntervalMin, "-1");
    store.Set(kKeyLog, "0");
    cycle.results = {texts::kViaWebTime, "bad", ""};
    auto loop = Loop();
    EXPECT_FALSE(loop.LogSwitch());
    for (int i = 0; i < 3; ++i) loop.RunTurn();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(WritesOf(kKeyLast).size(), 2u);

    store.Set(kKeyLog, "00");  // only "0" silences
    loop.RunTurn();
    EXPECT_EQ(log, std::vector<std::string>{texts::kSyncOk});
}

TEST_F(ScheduleLoopTest, FreshOneEndsTheWaitAfterItsStepAndIsReset) {
    store.Set(kKeyIntervalMin, "10");
    store.onRead = [this](const std::string& key) {
        if (key == kKeyFresh && sleeper.sleeps.size() == 5) store.Set(kKeyFresh, "1");
    };
    auto loop = Loop();
    loop.RunTurn();
    EXPECT_EQ(sleeper.sleeps, std::vector<uint32_t>(5, kStepMillis));
    EXPECT_EQ(WritesOf(kKeyFresh), (std::vector<std::pair<std::string, std::string>>{{kKeyFresh, "0"}}));
    EXPECT_EQ(cycle.calls, 1);
    loop.RunTurn();  // the next turn runs its cycle at once
    EXPECT_EQ(cycle.calls, 2);
}

TEST_F(ScheduleLoopTest, FreshOtherThanOneHasNoEffect) {
    for (const char* fresh : {"true", "01", " 1", "yes"}) {
        FakeStore s;
        FakeCycle cy;
        FakeSleeper sl;
        s.Set(kKeyIntervalMin, "1");
        s.Set(kKeyFresh, fresh);
        ScheduleLoop loop(s, cy, [](const std::string&) {}, [] { return std::string(kNow); }, sl);
        loop.RunTurn();
        EXPECT_EQ(sl.sleeps.size(), 60u) << fresh;
        EXPECT_EQ(s.Get(kKeyFresh), fresh) << fresh;
    }
}

TEST_F(ScheduleLoopTest, FreshIsNotReadOutsideAWait) {
    store.Set(kKeyFresh, "1");
    cycle.results = {"bad"};
    auto loop = Loop();
    loop.RunTurn();  // failure: retry pause only
    for (const auto& key : store.reads) EXPECT_NE(key, kKeyFresh);
    EXPECT_EQ(store.Get(kKeyFresh), "1");
}

TEST_F(ScheduleLoopTest, AnErrorEscapingTheCycleIsLoggedAndRetried) {
    struct Case {
        std::function<std::string()> behaviour;
        std::string line;
    };
    const Case cases[] = {
        {[]() -> std::string { throw std::bad_alloc(); }, texts::kSyncFailed + std::string(std::bad_alloc().what())},
        {[]() -> std::string { throw std::runtime_error("fetch"); }, texts::kSyncFailed + std::string("fetch")},
        {[]() -> std::string { throw 42; }, texts::kSyncFailed + std::string(texts::kUnknownError)},
    };
    for (const auto& c : cases) {
        FakeStore s;
        FakeCycle cy;
        FakeSleeper sl;
        std::vector<std::string> lines;
        cy.behaviour = c.behaviour;
        ScheduleLoop loop(s, cy, [&](const std::string& line) { lines.push_back(line); },
                          [] { return std::string(kNow); }, sl);
        loop.RunTurn();
        loop.RunTurn();
        EXPECT_EQ(cy.calls, 2) << c.line;
        EXPECT_EQ(lines, (std::vector<std::string>{c.line, c.line}));
        EXPECT_EQ(sl.sleeps, (std::vector<uint32_t>{kRetryMillis, kRetryMillis}));
        EXPECT_TRUE(s.Writes().empty());
    }
}

TEST_F(ScheduleLoopTest, AnErrorWithTheLogSwitchOffIsRetriedSilently) {
    store.Set(kKeyLog, "0");
    cycle.behaviour = []() -> std::string { throw std::bad_alloc(); };
    auto loop = Loop();
    loop.RunTurn();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(sleeper.sleeps, std::vector<uint32_t>{kRetryMillis});
}

TEST_F(ScheduleLoopTest, AnErrorOutsideTheCycleIsCaughtToo) {
    store.onRead = [](const std::string& key) {
        if (key == kKeyState) throw std::bad_alloc();
    };
    auto loop = Loop();
    loop.RunTurn();
    EXPECT_EQ(cycle.calls, 0);
    EXPECT_TRUE(log.empty());  // the switch is still off: no turn has read Log yet
    EXPECT_EQ(sleeper.sleeps, std::vector<uint32_t>{kRetryMillis});
}

// A stop reported by the sleeper ends Run() in every state, without a further cycle.
TEST_F(ScheduleLoopTest, StopEndsRunInEveryState) {
    struct Case {
        const char* name;
        const char* state;
        std::string result;
        size_t stopAtSleep;
        int cycles;
    };
    const Case cases[] = {
        {"paused", "0", "", 3, 0},
        {"waiting", "1", "", 30, 1},
        {"retrying", "1", "bad", 2, 2},
    };
    for (const auto& c : cases) {
        FakeStore s;
        FakeCycle cy;
        FakeSleeper sl;
        s.Set(kKeyState, c.state);
        cy.results = {c.result};
        sl.stopAtSleep = c.stopAtSleep;
        ScheduleLoop loop(s, cy, [](const std::string&) {}, [] { return std::string(kNow); }, sl);
        loop.Run();
        EXPECT_EQ(sl.sleeps.size(), c.stopAtSleep) << c.name;
        EXPECT_EQ(cy.calls, c.cycles) << c.name;
    }
}

TEST_F(ScheduleLoopTest, ACycleThatReturnsAfterAStopRecordsNothing) {
    cycle.behaviour = [this] {
        sleeper.stopped = true;
        return std::string(texts::kViaWebTime);
    };
    auto loop = Loop();
    loop.Run();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(store.Writes().empty());
    EXPECT_EQ(cycle.calls, 1);
}

}  // namespace
