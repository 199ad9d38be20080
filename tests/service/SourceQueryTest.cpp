#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "common/SntpFakes.h"
#include "common/SntpTestServer.h"
#include "common/TestTime.h"
#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "platform/Udp.h"
#include "service/CMyService.h"
#include "service/CommandLine.h"
#include "service/ServiceFakes.h"
#include "service/SourceQuery.h"
#include "support/Texts.h"

namespace {

using kelvra::SntpOutcome;
using kelvra::SntpStatus;
using kelvra::SourceQueryDeps;
namespace t = kelvra::texts;

const std::string kHeader = t::kQueryHeader;
const std::string kNoWebLine = "  2 web                    not configured (no WebTimeHost in config.ini)\n";

SntpOutcome Outcome(SntpStatus status, int stratum = 0, int64_t offset = 0, int64_t delay = 0,
                    std::string kiss = "") {
    SntpOutcome o;
    o.status = status;
    o.stratum = stratum;
    o.offsetMillis = offset;
    o.delayMillis = delay;
    o.kissCode = std::move(kiss);
    return o;
}

// One query over fakes: servers answer from `answers`, the page getter from `page`/`status`.
struct FakeSources {
    std::map<std::string, SntpOutcome> answers;
    std::string host;
    std::string page;
    int32_t status = 200;
    std::vector<std::string> asked;
    std::vector<std::string> urls;
    kelvra::test::SntpFakeClock clock;

    int Run(const std::vector<std::string>& servers, std::string& console) {
        const SourceQueryDeps deps{
            servers,
            [this](const std::string& server) {
                asked.push_back(server);
                return answers.at(server);
            },
            [this] { return host; },
            [this](const std::string& url, std::string& out) {
                urls.push_back(url);
                out = page;
                return status;
            },
            clock,
        };
        return kelvra::QueryTimeSources(deps, [&](const std::string& text) { console += text; });
    }
};

TEST(SourceQuery, EveryServerOutcomeHasItsLine) {
    struct Case {
        SntpOutcome outcome;
        std::string what;
    } cases[] = {
        {Outcome(SntpStatus::Ok, 2, 12, 35), "ok  offset +12 ms  delay 35 ms  stratum 2"},
        {Outcome(SntpStatus::Ok, 1, -3600123, 0), "ok  offset -3600123 ms  delay 0 ms  stratum 1"},
        // An offset beyond 32 bits: a clock years off is shown as it is.
        {Outcome(SntpStatus::Ok, 3, 100000000000LL, 7), "ok  offset +100000000000 ms  delay 7 ms  stratum 3"},
        {Outcome(SntpStatus::NoAddress), "no address (name lookup failed)"},
        {Outcome(SntpStatus::Timeout), "time-out (no reply within 5000 ms)"},
        {Outcome(SntpStatus::Refused), "refused (port 123 closed)"},
        {Outcome(SntpStatus::KissOfDeath, 0, 0, 0, "RATE"), "kiss-o'-death RATE"},
        // A kiss code is four bytes of the reply: shown printable only.
        {Outcome(SntpStatus::KissOfDeath, 0, 0, 0, "D\nY\x90"), "kiss-o'-death D?Y?"},
        {Outcome(SntpStatus::Unsynchronised, 16), "unsynchronised (leap 3 or stratum > 15)  stratum 16"},
        {Outcome(SntpStatus::BadMode, 2), "bad mode (not a server reply)"},
        {Outcome(SntpStatus::ShortReply), "short reply"},
        {Outcome(SntpStatus::BadOriginate, 2), "bad originate (not a reply to our request)"},
        {Outcome(SntpStatus::ZeroTransmit, 2), "zero transmit time"},
        {Outcome(SntpStatus::SocketError), "socket error"},
        {Outcome(SntpStatus::SendError), "send error"},
        {Outcome(SntpStatus::ReceiveError), "receive error"},
        {Outcome(SntpStatus::BadTime, 2, 5, 5), "bad time (no local time for it)"},
    };
    for (const auto& c : cases) {
        FakeSources f;
        f.answers["cn.pool.ntp.org"] = c.outcome;
        std::string console;
        const int usable = f.Run({"cn.pool.ntp.org"}, console);
        const bool ok = c.outcome.status == SntpStatus::Ok;
        EXPECT_EQ(console, kHeader + "  1 cn.pool.ntp.org        " + c.what + "\n" + kNoWebLine +
                               (ok ? "1 of 2 sources gave a usable time\n" : "No source gave a usable time\n"))
            << c.what;
        EXPECT_EQ(usable, ok ? 1 : 0) << c.what;
    }
}

using kelvra::test::LocalSeconds;

TEST(SourceQuery, TheWebTimeLineSaysWhatThePageGaveOrWhyNot) {
    const std::string page = "<html><DATE>2024-03-05</DATE><time>09:07:03</time></html>";
    struct Case {
        const char* name;
        std::string host;
        std::string page;
        int32_t status;
        std::string line;  // after the number
        bool usable;
    } cases[] = {
        {"ok", "time.example.test", page, 200,
         "web time.example.test  ok  2024-03-05 09:07:03  offset +89750 ms", true},
        {"ok with a port", "127.0.0.1:8080", page, 200,
         "web 127.0.0.1:8080     ok  2024-03-05 09:07:03  offset +89750 ms", true},
        {"not configured", "", page, 200, "web                    not configured (no WebTimeHost in config.ini)",
         false},
        {"platform failure", "h.test", "", -1, "web h.test             fetch failed (status -1)", false},
        {"ended early", "h.test", "", 0, "web h.test             fetch failed (status 0)", false},
        {"not found", "h.test", "", 404, "web h.test             fetch failed (status 404)", false},
        {"no date", "h.test", "<html>hello</html>", 200, "web h.test             bad date \"\"", false},
        {"bad time", "h.test", "<date>2024-03-05</date><time>09-07</time>", 200,
         "web h.test             bad time \"09-07\"", false},
        {"out of range", "h.test", "<date>2024-13-05</date><time>09:07:03</time>", 200,
         "web h.test             invalid date/time \"2024-13-05 09:07:03\"", false},
        {"control bytes", "h.test", "<date>20\x1b[2j\xB0\xA1</date>", 200,
         "web h.test             bad date \"20?[2j??\"", false},
        {"long text", "h.test", "<date>" + std::string(60, '7') + "</date>", 200,
         "web h.test             bad date \"" + std::string(40, '7') + "...\"", false},
    };
    for (const auto& c : cases) {
        FakeSources f;
        f.host = c.host;
        f.page = c.page;
        f.status = c.status;
        // The local clock 89.75 s behind the page.
        f.clock.wallMicros = (LocalSeconds(2024, 3, 5, 9, 7, 3) - 90) * 1000000 + 250000;
        std::string console;
        const int usable = f.Run({}, console);
        EXPECT_EQ(console, kHeader + "  1 " + c.line + "\n" +
                               (c.usable ? "1 of 1 sources gave a usable time\n" : "No source gave a usable time\n"))
            << c.name;
        EXPECT_EQ(usable, c.usable ? 1 : 0) << c.name;
        // Without a host nothing is fetched; with one, the page of that host.
        const std::vector<std::string> urls =
            c.host.empty() ? std::vector<std::string>{} : std::vector<std::string>{"http://" + c.host + "/other/gettime.asp"};
        EXPECT_EQ(f.urls, urls) << c.name;
    }
}

TEST(SourceQuery, EveryServerIsAskedOnceInOrderAndTheWebPageAfterThem) {
    FakeSources f;
    f.answers = {{"a.test", Outcome(SntpStatus::Timeout)},
                 {"b.test", Outcome(SntpStatus::Ok, 2, 5, 9)},
                 {"c.test", Outcome(SntpStatus::KissOfDeath, 0, 0, 0, "DENY")}};
    f.host = "w.test";
    f.page = "<date>2024-03-05</date><time>09:07:03</time>";
    f.clock.wallMicros = LocalSeconds(2024, 3, 5, 9, 7, 3) * 1000000;
    std::string console;
    const int usable = f.Run({"a.test", "b.test", "c.test"}, console);
    EXPECT_EQ(f.asked, (std::vector<std::string>{"a.test", "b.test", "c.test"}));
    EXPECT_EQ(console, kHeader +
                           "  1 a.test                 time-out (no reply within 5000 ms)\n"
                           "  2 b.test                 ok  offset +5 ms  delay 9 ms  stratum 2\n"
                           "  3 c.test                 kiss-o'-death DENY\n"
                           "  4 web w.test             ok  2024-03-05 09:07:03  offset +0 ms\n"
                           "2 of 4 sources gave a usable time\n");
    EXPECT_EQ(usable, 2);
}

// The real exchange and checks of CRuVir against a test server on 127.0.0.1: the offset is
// reported, the clock setter is never asked.
TEST(SourceQuery, ARealServerAnswerGivesItsOffsetAndSetsNothing) {
    kelvra::test::SntpServerBehaviour behaviour;
    behaviour.clockOffsetMicros = 30 * 1000000LL;
    kelvra::test::SntpTestServer server(behaviour);
    ASSERT_TRUE(server.ok());
    kelvra::ServerList list;
    kelvra::platform::StoppableSleeper sleeper;
    kelvra::RecordingClockSetter recorder;
    kelvra::CRuVir synchroniser(list, kelvra::platform::SystemUdp(), kelvra::platform::SystemClock(), recorder,
                                sleeper, nullptr, server.port());
    SntpOutcome seen;
    const SourceQueryDeps deps{
        {"127.0.0.1"},
        [&](const std::string& name) {
            kelvra::SystemTime time{};
            seen = synchroniser.QueryServerDetailed(name, time);
            return seen;
        },
        [] { return std::string(); },
        [](const std::string&, std::string&) { return int32_t(-1); },
        kelvra::platform::SystemClock(),
    };
    std::string console;
    EXPECT_EQ(kelvra::QueryTimeSources(deps, [&](const std::string& text) { console += text; }), 1);
    ASSERT_EQ(seen.status, SntpStatus::Ok);
    EXPECT_NEAR(double(seen.offsetMillis), 30000.0, 200.0 + double(seen.delayMillis) / 2);
    EXPECT_NE(console.find("  1 127.0.0.1              ok  offset +"), std::string::npos) << console;
    EXPECT_FALSE(recorder.requested.has_value());
    EXPECT_EQ(server.Requests().size(), 1u);
}

// -q through the entry point: title, the query, the closing line; its result is the exit code.
TEST(SourceQuery, TheSwitchRunsTheQueryInsteadOfTheDispatcher) {
    struct Case {
        std::vector<std::string> args;
        int queryResult;
        bool queried;
    } cases[] = {
        {{"-q"}, 1, true}, {{"/q"}, 0, true}, {{"-Q"}, 0, true}, {{"/Q", "-v"}, 1, true},
        {{"-qq"}, 0, false}, {{"-v", "-q"}, 0, false},
    };
    for (const auto& c : cases) {
        kelvra::testing::ServiceFixture f;
        f.manager.dispatcherRuns = false;
        kelvra::CMyService service(f.Deps());
        int queries = 0;
        kelvra::EntryDeps deps{[] { return true; },
                               [](std::string& title) {
                                   title = t::kTitle;
                                   return true;
                               },
                               [&](const std::string& text) { f.console += text; },
                               [] { return 0; },
                               [&] {
                                   ++queries;
                                   f.console += "table\n";
                                   return c.queryResult;
                               }};
        std::vector<std::string> args = c.args;
        args.insert(args.begin(), "kelvra-timesync");
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(&a[0]);
        argv.push_back(nullptr);
        const int exitCode = kelvra::RunEntryPoint(service, int(args.size()), argv.data(), deps);
        const std::string& first = c.args[0];
        EXPECT_EQ(queries, c.queried ? 1 : 0) << first;
        if (c.queried) {
            EXPECT_EQ(exitCode, c.queryResult) << first;
            EXPECT_EQ(f.console, std::string(t::kTitle) + "\ntable\n" + t::kDone + "\n") << first;
            const auto timeline = f.timeline.Entries();
            EXPECT_EQ(std::count(timeline.begin(), timeline.end(), "dispatcher DaZirAdur"), 0) << first;
        } else {
            EXPECT_EQ(exitCode, 0) << first;
        }
    }
}

}  // namespace
