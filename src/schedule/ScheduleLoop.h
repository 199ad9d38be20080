#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Sleeper.h"
#include "schedule/ConfigStore.h"
#include "timesync/SyncCycle.h"

namespace kelvra {

// Keys of config.ini, section texts::kConfigSection.
inline constexpr char kKeyState[] = "State";
inline constexpr char kKeyIntervalMin[] = "IntervalMin";
inline constexpr char kKeyLog[] = "Log";
inline constexpr char kKeyFresh[] = "Fresh";
inline constexpr char kKeyLast[] = "Last";

// Timing of the schedule.
inline constexpr uint32_t kPauseMillis = 5000;     // between readings of State while paused
inline constexpr uint32_t kRetryMillis = 5000;     // after a failed cycle
inline constexpr uint32_t kStepMillis = 1000;      // one step of the wait; Fresh is read after each
inline constexpr int64_t kDefaultWaitSteps = 600;  // IntervalMin 0, missing or without digits
inline constexpr int64_t kStepsPerMinute = 60;

// What one turn takes from config.ini before its cycle.
struct TurnSettings {
    int64_t waitSteps = kDefaultWaitSteps;  // negative or 0: no wait
    bool logResults = true;
};

// IntervalMin as atol reads it (white space, one sign, digits; clamped to 32 bits), widened to
// 64 bits; 0 gives the default, anything else that many minutes of one-second steps.
int64_t WaitStepsOf(const std::string& intervalMin);

// A cycle succeeded exactly when its result text is empty or begins with texts::kSuccessPrefix.
bool IsSuccessText(const std::string& result);

// The worker's schedule: one turn reads the switches, runs a cycle, logs its result, records
// Last and waits. Every sleep goes through the sleeper; when it reports a stop the turn returns.
class ScheduleLoop {
public:
    using LogSink = std::function<void(const std::string&)>;
    using NowText = std::function<std::string()>;

    ScheduleLoop(IConfigStore& store, ISyncCycle& cycle, LogSink log, NowText now, platform::ISleeper& sleeper);

    // One turn. An error that escapes the cycle (or anything else in the turn) is caught here,
    // logged as a failure when the log switch is on, and followed by the retry pause.
    void RunTurn();

    // Turns until the sleeper reports a stop.
    void Run();

    bool LogSwitch() const { return logSwitch_; }

private:
    std::string Read(const char* key);
    void Write(const std::string& value, const char* key);
    void Turn();
    void Wait(int64_t steps);
    void ReportEscapedError(const std::string& what);

    IConfigStore& store_;
    ISyncCycle& cycle_;
    LogSink log_;
    NowText now_;
    platform::ISleeper& sleeper_;
    bool logSwitch_ = false;  // off until the first turn reads Log
};

}  // namespace kelvra
