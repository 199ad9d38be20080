#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "common/SupportTempDir.h"
#include "platform/Clock.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "schedule/CIniReader.h"
#include "schedule/CThread.h"
#include "support/ClockText.h"
#include "support/DailyLog.h"
#include "support/Texts.h"

namespace {

using namespace kelvra;
using namespace std::chrono_literals;

class CountingCycle final : public ISyncCycle {
public:
    explicit CountingCycle(std::shared_ptr<std::atomic<int>> calls) : calls_(std::move(calls)) {}
    std::string SyncTime() override {
        ++*calls_;
        return texts::kViaServerOpen + std::string("127.0.0.1") + texts::kViaServerClose;
    }

private:
    std::shared_ptr<std::atomic<int>> calls_;
};

// A text as the log file stores it.
std::string Stored(const std::string& cp936) {
#ifdef _WIN32
    return cp936;
#else
    return platform::Cp936ToUtf8(cp936);
#endif
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end) return false;
        std::this_thread::sleep_for(20ms);
    }
    return true;
}

// The real worker thread against a real config.ini and a real log directory: the first cycle runs
// at once, Last lands in the file, a Fresh request ends the one-minute wait within about a second
// and is reset, and a stop ends the worker at once.
TEST(WorkerRealFile, RunsAgainstARealConfigFileAndAnswersFresh) {
    test::SupportTempDir tmp;
    const std::string ini = tmp.path() + "config.ini";
    const std::string logDir = tmp.path() + "log" + platform::PathSeparator();
    ASSERT_TRUE(platform::ReplaceFileAtomically(
        ini, "; written by the configuration program\r\n[DaZirAdur]\r\nState=1\r\nIntervalMin=1\r\nLog=1\r\n"));

    auto calls = std::make_shared<std::atomic<int>>(0);
    WorkerSetup setup;
    setup.makeParts = [ini, calls](platform::ISleeper&) {
        WorkerParts parts;
        parts.store = std::make_unique<CIniReader>(ini);
        parts.cycle = std::make_unique<CountingCycle>(calls);
        return parts;
    };
    setup.log = [logDir](const std::string& text) {
        DailyLogWriter([logDir] { return logDir; }, platform::SystemClock()).Write(text);
    };
    setup.now = [] { return FormatNow(); };

    CIniReader reader(ini);
    CThread holder(setup);
    ASSERT_TRUE(holder.StartWorker());
    ASSERT_TRUE(WaitFor([&] { return !reader.ReadValue(kKeyLast, texts::kConfigSection).empty(); }, 5000ms));
    EXPECT_EQ(calls->load(), 1);
    EXPECT_EQ(reader.ReadValue(kKeyLast, texts::kConfigSection).size(), 19u);

    reader.WriteValue("1", kKeyFresh, texts::kConfigSection);
    ASSERT_TRUE(WaitFor([&] { return calls->load() == 2; }, 4000ms));
    EXPECT_TRUE(WaitFor([&] { return reader.ReadValue(kKeyFresh, texts::kConfigSection) == "0"; }, 2000ms));

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(holder.StopWorker(2000ms), StopOutcome::kLeft);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 1000ms);

    std::string config;
    ASSERT_TRUE(platform::ReadFileBytes(ini, config, 1 << 20));
    EXPECT_EQ(config.rfind("; written by the configuration program", 0), 0u) << config;
    EXPECT_NE(config.find("IntervalMin=1"), std::string::npos) << config;

    std::string log;
    platform::ReadFileBytes(logDir + FormatDate() + ".log", log, 1 << 20);
    const std::string ok = texts::kSyncOkOpen + std::string(texts::kViaServerOpen) + "127.0.0.1" +
                           texts::kViaServerClose + texts::kSyncOkClose;
    const std::string stored = Stored(ok);
    size_t lines = 0;
    for (size_t at = log.find(stored); at != std::string::npos; at = log.find(stored, at + 1)) ++lines;
    EXPECT_EQ(lines, 2u) << log;
    EXPECT_NE(log.find(Stored(texts::kMainServiceStarted)), std::string::npos);
}

}  // namespace
