#pragma once
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "platform/Sleeper.h"
#include "schedule/ConfigStore.h"
#include "schedule/ScheduleLoop.h"
#include "timesync/SyncCycle.h"

namespace kelvra {

// What the worker owns for its whole life. Built by WorkerSetup::makeParts on the worker thread
// itself, at its start (the synchroniser's construction fills the server list there).
struct WorkerParts {
    std::unique_ptr<IConfigStore> store;
    std::unique_ptr<ISyncCycle> cycle;
};

struct WorkerSetup {
    // Given the worker's sleeper, so that every wait inside the cycle also ends on a stop.
    std::function<WorkerParts(platform::ISleeper& sleeper)> makeParts;
    ScheduleLoop::LogSink log;  // WriteLog in the service
    ScheduleLoop::NowText now;  // FormatNow in the service
};

// How the worker stood when StopWorker returned.
enum class StopOutcome {
    kLeft,     // the worker has ended and released everything it owned (or never ran)
    kParked,   // still inside a cycle (a blocking network call, say) or a read of config.ini, but no
               // file write is in progress and none can start any more
    kWriting,  // a write of the log or config.ini was still in progress at the deadline
};

// The worker-thread holder.
//
// Ending the worker: nothing is ever killed. StopWorker() asks the worker to stop, which wakes
// every sleep at once, and then waits, at most maxWait, until the worker has left or stands
// inside its cycle. Each write of the worker (a log line, Last, Fresh) passes a gate that refuses
// new writes once a stop is asked for, and StopWorker waits for a write already under way to
// finish, so after kLeft or kParked no half-written log line or config.ini can come from the
// worker. A worker blocked inside a network call is not waited for: on kParked the caller may end
// the process at once, without running destructors the worker might still need (the server list,
// say), e.g. with std::_Exit/ExitProcess after flushing its own output. When the call returns,
// the worker finds the stop and ends without writing anything.
//
// The worker's state lives in an object the worker thread shares, so the holder may go first.
class CThread {
public:
    explicit CThread(WorkerSetup setup);
    ~CThread();  // StopWorker(kDestroyWait)
    CThread(const CThread&) = delete;
    CThread& operator=(const CThread&) = delete;

    // Logs texts::kMainServiceStarted, then starts the worker; true when its thread was created.
    // Only one worker per holder: a second call logs the line and returns false.
    bool StartWorker();

    // Asks the worker to stop and waits for it as described above. May be called more than once.
    StopOutcome StopWorker(std::chrono::milliseconds maxWait);

    static constexpr std::chrono::milliseconds kDestroyWait{2000};

    struct Control;  // shared between the holder and the worker thread

private:
    WorkerSetup setup_;
    std::mutex mutex_;
    std::shared_ptr<Control> control_;  // null until a worker was started
};

}  // namespace kelvra
