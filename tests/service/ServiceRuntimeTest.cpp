#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>

#include "service/CMyService.h"
#include "service/ServiceFakes.h"
#include "support/Texts.h"

namespace {

using kelvra::CMyService;
using kelvra::CNTService;
using kelvra::testing::ServiceFixture;
using kelvra::testing::StatusEntry;
using Entries = std::vector<std::string>;
namespace p = kelvra::platform;

const std::string kParameters = "SYSTEM\\CurrentControlSet\\Services\\DaZirAdur\\Parameters";
const std::string kCurrent = "SYSTEM\\CurrentControlSet\\Services\\DaZirAdur\\Status\\Current";
const std::string kStoppedLog = std::string("log ") + kelvra::texts::kServiceStopped;

// Entries of the timeline from the first one equal to `from` on.
Entries From(const Entries& all, const std::string& from) {
    for (size_t i = 0; i < all.size(); ++i) {
        if (all[i] == from) return Entries(all.begin() + long(i), all.end());
    }
    return {};
}

TEST(ServiceRuntime, StartRunsCountsSavesOnRequest128AndStopsWithExitCode0) {
    ServiceFixture f;
    f.registry.dwords[kParameters + "\\Start"] = 100;
    f.registry.dwords[kParameters + "\\Inc"] = 5;
    CMyService service(f.Deps());
    uint32_t counterWhenRunning = 0;
    bool flagWhenRunning = false;
    f.manager.onStatus = [&](const p::ServiceStatus& s) {
        if (s.dwCurrentState == p::kServiceRunning && counterWhenRunning == 0) {
            counterWhenRunning = service.RunCounter();
            flagWhenRunning = service.IsRunning();
        }
    };
    f.sleeper.onSleep = [&](int n) {
        if (n == 3) f.manager.handler(128);  // after two increments: 110
        if (n == 4) f.manager.handler(1);
    };

    CNTService::ServiceMain();

    EXPECT_EQ(counterWhenRunning, 100u);
    EXPECT_TRUE(flagWhenRunning) << "the running flag must be set before running is reported";
    EXPECT_EQ(f.registry.dwords[kCurrent], 110u);
    EXPECT_EQ(service.RunCounter(), 120u) << "one last increment after the stop request";
    EXPECT_EQ(f.sleeper.durations, (std::vector<uint32_t>{1000, 1000, 1000, 1000}));
    const Entries expected = {
        "register-handler DaZirAdur",
        StatusEntry(p::kServiceStartPending),
        "event info 105",
        StatusEntry(p::kServiceRunning),
        "start-worker",
        "write " + kCurrent + "=110",
        StatusEntry(p::kServiceRunning),  // the handler's closing report
        StatusEntry(p::kServiceStopPending),
        "event info 108",
        StatusEntry(p::kServiceStopPending),
        kStoppedLog,
        StatusEntry(p::kServiceStopped, 0),
    };
    EXPECT_EQ(f.timeline.Entries(), expected);
    for (const auto& report : f.manager.reports) {
        EXPECT_EQ(report.dwServiceType, 16u);
        EXPECT_EQ(report.dwControlsAccepted, 1u);
        EXPECT_EQ(report.dwCheckPoint, 0u);
        EXPECT_EQ(report.dwWaitHint, 0u);
    }
}

TEST(ServiceRuntime, WithoutParametersTheCounterStartsAt0AndGrowsBy1) {
    ServiceFixture f;
    CMyService service(f.Deps());
    f.sleeper.onSleep = [&](int n) {
        if (n == 7) f.manager.handler(128);
        if (n == 7) f.manager.handler(1);
    };
    CNTService::ServiceMain();
    EXPECT_EQ(f.registry.dwords[kCurrent], 6u);
    EXPECT_EQ(service.RunCounter(), 7u);
}

TEST(ServiceRuntime, AStopRequestAnsweredWhileRunningIsReportedEndsTheBody) {
    ServiceFixture f;
    CMyService service(f.Deps());
    f.manager.onStatus = [&](const p::ServiceStatus& s) {
        if (s.dwCurrentState == p::kServiceRunning && f.manager.handler) {
            auto handler = f.manager.handler;
            f.manager.handler = nullptr;
            handler(1);
        }
    };
    f.sleeper.onSleep = [&](int n) {
        if (n == 50) CNTService::ControlHandler(1);  // rescue, so a lost stop fails instead of hanging
    };
    CNTService::ServiceMain();
    EXPECT_EQ(f.sleeper.sleeps, 0) << "the stop request was undone by the start";
    EXPECT_EQ(From(f.timeline.Entries(), kStoppedLog), (Entries{kStoppedLog, StatusEntry(p::kServiceStopped)}));
}

TEST(ServiceRuntime, AStopRequestBeforeStartIsNotUndone) {
    ServiceFixture f;
    CMyService service(f.Deps());
    f.manager.onStatus = [&](const p::ServiceStatus& s) {
        if (s.dwCurrentState == p::kServiceStartPending && f.manager.handler) {
            auto handler = f.manager.handler;
            f.manager.handler = nullptr;
            handler(1);
        }
    };
    f.sleeper.onSleep = [&](int n) {
        if (n == 50) CNTService::ControlHandler(1);
    };
    CNTService::ServiceMain();
    EXPECT_EQ(f.sleeper.sleeps, 0);
    const Entries afterStop = From(f.timeline.Entries(), StatusEntry(p::kServiceStopPending));
    EXPECT_EQ(std::count(afterStop.begin(), afterStop.end(), StatusEntry(p::kServiceRunning)), 0)
        << "running reported after stop pending";
    EXPECT_EQ(afterStop.back(), StatusEntry(p::kServiceStopped));
}

TEST(ServiceRuntime, HandlerRegistrationFailureReportsEvent103AndNothingElse) {
    ServiceFixture f;
    f.manager.registerSucceeds = false;
    CMyService service(f.Deps());
    CNTService::ServiceMain();
    EXPECT_EQ(f.timeline.Entries(), (Entries{"register-handler DaZirAdur", "event error 103"}));
}

class FailingStart : public CMyService {
public:
    using CMyService::CMyService;
    bool PrepareStart() override { return false; }
};

TEST(ServiceRuntime, PrepareStartFalseReports104AndStopsWithItsLastError) {
    ServiceFixture f;
    f.manager.lastError = 1234;
    FailingStart service(f.Deps());
    CNTService::ServiceMain();
    const Entries expected = {
        "register-handler DaZirAdur",
        StatusEntry(p::kServiceStartPending),
        "event error 104",
        StatusEntry(p::kServiceStopped, 1234),
        kStoppedLog,
        StatusEntry(p::kServiceStopped, 1234),
    };
    EXPECT_EQ(f.timeline.Entries(), expected);
    EXPECT_EQ(service.ExitCode(), 1234u);
    EXPECT_EQ(f.sleeper.sleeps, 0);
}

TEST(ServiceRuntime, AWorkerThatCannotStartLeavesTheServiceRunning) {
    ServiceFixture f;
    f.workerStarts = false;
    CMyService service(f.Deps());
    f.sleeper.onSleep = [&](int n) {
        if (n == 2) f.manager.handler(1);
    };
    CNTService::ServiceMain();
    EXPECT_EQ(f.sleeper.sleeps, 2);
    EXPECT_EQ(From(f.timeline.Entries(), kStoppedLog), (Entries{kStoppedLog, StatusEntry(p::kServiceStopped)}));
}

struct ControlCase {
    uint32_t code;
    bool event106;
};

TEST(ServiceRuntime, ControlCodesOtherThanStopReportOnceAndOnlyUnhandledOnesWrite106) {
    const ControlCase cases[] = {
        {0, true},    {2, false},   {3, false},  {4, false},  {5, false},   {6, true},
        {64, true},   {127, true},  {129, true}, {200, true}, {255, true},  {256, true},
        {0xFFFFFFFFu, true},
    };
    for (const auto& c : cases) {
        ServiceFixture f;
        CMyService service(f.Deps());
        CNTService::ControlHandler(c.code);
        Entries expected;
        if (c.event106) expected.push_back("event error 106");
        expected.push_back(StatusEntry(p::kServiceStopped));  // the record, unchanged
        EXPECT_EQ(f.timeline.Entries(), expected) << "code " << c.code;
        EXPECT_TRUE(f.registry.dwords.empty()) << "code " << c.code;
    }
}

TEST(ServiceRuntime, Request128WritesCurrentAndCountsAsHandledEvenWhenTheKeyCannotBeWritten) {
    for (bool writable : {true, false}) {
        ServiceFixture f;
        f.registry.writesSucceed = writable;
        CMyService service(f.Deps());
        CNTService::ControlHandler(128);
        const Entries expected = {"write " + kCurrent + "=0", StatusEntry(p::kServiceStopped)};
        EXPECT_EQ(f.timeline.Entries(), expected) << "writable " << writable;
    }
}

TEST(ServiceRuntime, StopReportsStopPendingTwiceAndEvent108) {
    ServiceFixture f;
    CMyService service(f.Deps());
    service.SetRunning(true);
    CNTService::ControlHandler(1);
    EXPECT_FALSE(service.IsRunning());
    const Entries expected = {StatusEntry(p::kServiceStopPending), "event info 108",
                              StatusEntry(p::kServiceStopPending)};
    EXPECT_EQ(f.timeline.Entries(), expected);
}

TEST(ServiceRuntime, EventSourceIsRegisteredOnceByConcurrentReporters) {
    ServiceFixture f;
    {
        CMyService service(f.Deps());
        std::atomic<bool> go{false};
        auto report = [&] {
            while (!go.load()) std::this_thread::yield();
            for (int i = 0; i < 200; ++i) service.ReportServiceEvent(p::EventType::Information, 105);
        };
        std::thread a(report), b(report);
        go = true;
        a.join();
        b.join();
        EXPECT_EQ(f.eventLog.registrations, 1);
    }
    EXPECT_EQ(f.eventLog.deregistrations, 1);
}

TEST(ServiceRuntime, WithoutAnEventSourceEventsAreDroppedAndTheNextReportTriesAgain) {
    ServiceFixture f;
    f.eventLog.registerFailures = 1;
    {
        CMyService service(f.Deps());
        service.ReportServiceEvent(p::EventType::Error, 106);
        service.ReportServiceEvent(p::EventType::Information, 100, "a", "b");
    }
    EXPECT_EQ(f.eventLog.registrations, 2);
    EXPECT_EQ(f.timeline.Entries(), (Entries{"event info 100 a b"}));
    EXPECT_EQ(f.eventLog.deregistrations, 1);
}

TEST(ServiceRuntime, ANameOf64BytesOrMoreIsCutTo63) {
    ServiceFixture f;
    const std::string longName(70, 'n');
    CNTService service(longName.c_str(), f.Deps());
    EXPECT_EQ(std::string(service.Name()), longName.substr(0, 63));
    EXPECT_EQ(service.MajorVersion(), 1u);
    EXPECT_EQ(service.MinorVersion(), 0u);
}

TEST(ServiceRuntime, TheBaseBodySleepsInFiveSecondSteps) {
    ServiceFixture f;
    CNTService service("Base", f.Deps());
    service.SetRunning(true);
    f.sleeper.onSleep = [&](int n) {
        if (n == 2) service.SetRunning(false);
    };
    service.Run();
    EXPECT_EQ(f.sleeper.durations, (std::vector<uint32_t>{5000, 5000}));
}

}  // namespace
