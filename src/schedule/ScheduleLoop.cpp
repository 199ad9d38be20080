#include "schedule/ScheduleLoop.h"

#include <cstdint>
#include <exception>
#include <limits>
#include <utility>

#include "support/Texts.h"

namespace kelvra {
namespace {

bool IsAtolSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The keys a running turn reads before its cycle, each with what it sets.
struct TurnKey {
    const char* key;
    void (*apply)(const std::string& value, TurnSettings& settings);
};

const TurnKey kTurnKeys[] = {
    {kKeyIntervalMin, [](const std::string& v, TurnSettings& s) { s.waitSteps = WaitStepsOf(v); }},
    {kKeyLog, [](const std::string& v, TurnSettings& s) { s.logResults = v != "0"; }},
};

}  // namespace

int64_t WaitStepsOf(const std::string& intervalMin) {
    constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
    constexpr int64_t kMin = std::numeric_limits<int32_t>::min();
    size_t i = 0;
    while (i < intervalMin.size() && IsAtolSpace(intervalMin[i])) ++i;
    bool negative = false;
    if (i < intervalMin.size() && (intervalMin[i] == '+' || intervalMin[i] == '-')) {
        negative = intervalMin[i] == '-';
        ++i;
    }
    int64_t magnitude = 0;  // stops growing past the 32-bit range, so it never overflows
    for (; i < intervalMin.size() && intervalMin[i] >= '0' && intervalMin[i] <= '9'; ++i) {
        if (magnitude <= kMax) magnitude = magnitude * 10 + (intervalMin[i] - '0');
    }
    const int64_t minutes = negative ? (magnitude > -kMin ? kMin : -magnitude) : (magnitude > kMax ? kMax : magnitude);
    return minutes == 0 ? kDefaultWaitSteps : minutes * kStepsPerMinute;
}

bool IsSuccessText(const std::string& result) {
    return result.empty() || result.rfind(texts::kSuccessPrefix, 0) == 0;
}

ScheduleLoop::ScheduleLoop(IConfigStore& store, ISyncCycle& cycle, LogSink log, NowText now,
                           platform::ISleeper& sleeper)
    : store_(store), cycle_(cycle), log_(std::move(log)), now_(std::move(now)), sleeper_(sleeper) {}

std::string ScheduleLoop::Read(const char* key) { return store_.ReadValue(key, texts::kConfigSection); }

void ScheduleLoop::Write(const std::string& value, const char* key) {
    store_.WriteValue(value, key, texts::kConfigSection);  // a failed write is ignored
}

void ScheduleLoop::Run() {
    while (!sleeper_.StopRequested()) RunTurn();
}

void ScheduleLoop::RunTurn() {
    try {
        Turn();
    } catch (const std::exception& e) {
        ReportEscapedError(e.what());
    } catch (...) {
        ReportEscapedError(texts::kUnknownError);
    }
}

void ScheduleLoop::Turn() {
    if (Read(kKeyState) == "0") {
        sleeper_.Sleep(kPauseMillis);
        return;
    }
    TurnSettings settings;
    for (const TurnKey& k : kTurnKeys) k.apply(Read(k.key), settings);
    logSwitch_ = settings.logResults;

    const std::string result = cycle_.SyncTime();
    if (sleeper_.StopRequested()) return;  // the process is ending: record nothing more

    if (!IsSuccessText(result)) {
        if (logSwitch_) log_(texts::kSyncFailed + result);
        sleeper_.Sleep(kRetryMillis);
        return;
    }
    if (logSwitch_) log_(result.empty() ? std::string(texts::kSyncOk) : texts::kSyncOkOpen + result + texts::kSyncOkClose);
    Write(now_(), kKeyLast);
    Wait(settings.waitSteps);
}

// Counts steps, never the clock: a clock set by the cycle neither shortens nor stretches the wait.
void ScheduleLoop::Wait(int64_t steps) {
    for (int64_t step = 0; step < steps;) {
        if (!sleeper_.Sleep(kStepMillis)) return;
        if (Read(kKeyFresh) == "1") {
            Write("0", kKeyFresh);
            return;
        }
        ++step;
    }
}

void ScheduleLoop::ReportEscapedError(const std::string& what) {
    try {
        if (logSwitch_) log_(texts::kSyncFailed + what);
    } catch (...) {
        // The line is lost; the retry below still comes.
    }
    sleeper_.Sleep(kRetryMillis);
}

}  // namespace kelvra
