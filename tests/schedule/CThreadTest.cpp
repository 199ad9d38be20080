#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "schedule/CThread.h"
#include "schedule/ScheduleFakes.h"
#include "support/Texts.h"

namespace {

using namespace kelvra;
using namespace std::chrono_literals;
using kelvra::test::FakeCycle;
using kelvra::test::FakeStore;
using kelvra::test::Latch;

using Clock = std::chrono::steady_clock;

// What a test shares with the worker it starts; outlives the worker.
struct Shared {
    std::mutex mutex;
    std::vector<std::string> log;
    FakeStore store;  // the worker gets a forwarding store, so the test keeps this one
    std::function<std::string()> cycle = [] { return std::string(); };
    std::atomic<std::thread::id> partsThread{};
    std::atomic<bool> partsGone{false};
    std::atomic<int> cycles{0};

    std::vector<std::string> Log() {
        std::lock_guard<std::mutex> lock(mutex);
        return log;
    }
};

class ForwardingStore final : public IConfigStore {
public:
    explicit ForwardingStore(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
    ~ForwardingStore() override { s_->partsGone = true; }
    std::string ReadValue(const std::string& k, const std::string& sec) override { return s_->store.ReadValue(k, sec); }
    bool WriteValue(const std::string& v, const std::string& k, const std::string& sec) override {
        return s_->store.WriteValue(v, k, sec);
    }

private:
    std::shared_ptr<Shared> s_;
};

class ForwardingCycle final : public ISyncCycle {
public:
    explicit ForwardingCycle(std::shared_ptr<Shared> s) : s_(std::move(s)) {}
    std::string SyncTime() override {
        ++s_->cycles;
        return s_->cycle();
    }

private:
    std::shared_ptr<Shared> s_;
};

WorkerSetup SetupFor(const std::shared_ptr<Shared>& s) {
    WorkerSetup setup;
    setup.makeParts = [s](platform::ISleeper&) {
        s->partsThread = std::this_thread::get_id();
        WorkerParts parts;
        parts.store = std::make_unique<ForwardingStore>(s);
        parts.cycle = std::make_unique<ForwardingCycle>(s);
        return parts;
    };
    setup.log = [s](const std::string& line) {
        std::lock_guard<std::mutex> lock(s->mutex);
        s->log.push_back(line);
    };
    setup.now = [] { return std::string("2024-03-05 09:07:03"); };
    return setup;
}

template <typename Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit = 5000ms) {
    const auto end = Clock::now() + limit;
    while (!pred()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(2ms);
    }
    return true;
}

std::chrono::milliseconds Elapsed(Clock::time_point since) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since);
}

TEST(CThread, StartLogsTheStartLineAndBuildsThePartsOnTheWorkerThread) {
    auto s = std::make_shared<Shared>();
    CThread holder(SetupFor(s));
    ASSERT_TRUE(holder.StartWorker());
    ASSERT_TRUE(WaitFor([&] { return s->cycles > 0; }));
    EXPECT_NE(s->partsThread.load(), std::this_thread::get_id());
    EXPECT_EQ(s->Log().front(), texts::kMainServiceStarted);
    EXPECT_FALSE(holder.StartWorker());  // one worker per holder
    EXPECT_EQ(holder.StopWorker(2000ms), StopOutcome::kLeft);
    EXPECT_TRUE(s->partsGone);
}

TEST(CThread, StopInEveryRestingStateEndsTheWorkerPromptly) {
    struct Case {
        const char* name;
        const char* state;
        const char* result;
    };
    const Case cases[] = {
        {"paused", "0", ""},
        {"waiting", "1", ""},  // 600 steps of one second
        {"retrying", "1", "bad"},
    };
    for (const auto& c : cases) {
        auto s = std::make_shared<Shared>();
        s->store.Set(kKeyState, c.state);
        const std::string result = c.result;
        s->cycle = [result] { return result; };
        CThread holder(SetupFor(s));
        ASSERT_TRUE(holder.StartWorker());
        ASSERT_TRUE(WaitFor([&] { return !s->store.Reads().empty() && (c.state[0] == '0' || s->cycles > 0); }));
        std::this_thread::sleep_for(50ms);  // let it settle into its sleep
        const auto start = Clock::now();
        EXPECT_EQ(holder.StopWorker(5000ms), StopOutcome::kLeft) << c.name;
        EXPECT_LT(Elapsed(start), 1000ms) << c.name;
        EXPECT_TRUE(s->partsGone) << c.name;
    }
}

TEST(CThread, StopDoesNotWaitForABlockedCycleAndNothingIsWrittenAfterIt) {
    auto s = std::make_shared<Shared>();
    auto release = std::make_shared<Latch>();
    s->cycle = [release] {
        release->Wait();
        return std::string(texts::kViaWebTime);
    };
    auto holder = std::make_unique<CThread>(SetupFor(s));
    ASSERT_TRUE(holder->StartWorker());
    ASSERT_TRUE(WaitFor([&] { return s->cycles > 0; }));
    auto start = Clock::now();
    EXPECT_EQ(holder->StopWorker(5000ms), StopOutcome::kParked);
    EXPECT_LT(Elapsed(start), 1000ms);
    start = Clock::now();
    holder.reset();  // nor does the destructor
    EXPECT_LT(Elapsed(start), 1000ms);
    release->Open();
    ASSERT_TRUE(WaitFor([&] { return s->partsGone.load(); }));
    EXPECT_EQ(s->Log(), std::vector<std::string>{texts::kMainServiceStarted});
    EXPECT_TRUE(s->store.Writes().empty());
}

TEST(CThread, StopWaitsForAWriteUnderWayAndTheWriteCompletes) {
    auto s = std::make_shared<Shared>();
    auto release = std::make_shared<Latch>();
    std::atomic<bool> inWrite{false};
    s->store.onWrite = [&inWrite, release](const std::string& key) {
        if (key == kKeyLast) {
            inWrite = true;
            release->Wait();
        }
    };
    CThread holder(SetupFor(s));
    ASSERT_TRUE(holder.StartWorker());
    ASSERT_TRUE(WaitFor([&] { return inWrite.load(); }));
    EXPECT_EQ(holder.StopWorker(200ms), StopOutcome::kWriting);
    release->Open();
    EXPECT_EQ(holder.StopWorker(2000ms), StopOutcome::kLeft);
    EXPECT_EQ(s->store.Writes(), (std::vector<std::pair<std::string, std::string>>{{kKeyLast, "2024-03-05 09:07:03"}}));
}

TEST(CThread, AThrowingCycleNeverEndsTheWorker) {
    auto s = std::make_shared<Shared>();
    s->cycle = []() -> std::string { throw std::bad_alloc(); };
    CThread holder(SetupFor(s));
    ASSERT_TRUE(holder.StartWorker());
    // First cycle at once, the retry five seconds later.
    ASSERT_TRUE(WaitFor([&] { return s->cycles >= 2; }, 8000ms));
    const auto log = s->Log();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[1], texts::kSyncFailed + std::string(std::bad_alloc().what()));
    EXPECT_EQ(holder.StopWorker(2000ms), StopOutcome::kLeft);
}

TEST(CThread, AFactoryThatThrowsIsRetriedAndAStopStillEndsTheWorker) {
    auto s = std::make_shared<Shared>();
    std::atomic<int> attempts{0};
    WorkerSetup setup = SetupFor(s);
    setup.makeParts = [&attempts](platform::ISleeper&) -> WorkerParts {
        ++attempts;
        throw std::runtime_error("no parts");
    };
    CThread holder(setup);
    ASSERT_TRUE(holder.StartWorker());
    ASSERT_TRUE(WaitFor([&] { return attempts > 0; }));
    const auto start = Clock::now();
    EXPECT_EQ(holder.StopWorker(2000ms), StopOutcome::kLeft);
    EXPECT_LT(Elapsed(start), 1000ms);
}

TEST(CThread, AHolderWithoutAWorkerStopsAtOnce) {
    auto s = std::make_shared<Shared>();
    CThread holder(SetupFor(s));
    EXPECT_EQ(holder.StopWorker(0ms), StopOutcome::kLeft);
}

}  // namespace
