#include "schedule/CThread.h"

#include <condition_variable>
#include <utility>

#include "platform/Sleeper.h"
#include "platform/Threads.h"
#include "support/Texts.h"

namespace kelvra {

struct CThread::Control {
    platform::StoppableSleeper sleeper;
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    bool writing = false;
    bool inCycle = false;
    bool left = false;

    // False once a stop was asked for: no write starts after that.
    bool BeginWrite() {
        std::lock_guard<std::mutex> lock(mutex);
        if (stop) return false;
        writing = true;
        return true;
    }
    void EndWrite() { Set(writing, false); }
    void Set(bool& flag, bool value) {
        {
            std::lock_guard<std::mutex> lock(mutex);
            flag = value;
        }
        changed.notify_all();
    }
};

namespace {

using Control = CThread::Control;

// Runs `write` only when the gate lets it, and marks it in progress meanwhile.
template <typename F>
auto GatedWrite(Control& control, F&& write) -> decltype(write()) {
    using Result = decltype(write());
    if (!control.BeginWrite()) return Result();
    struct End {
        Control& c;
        ~End() { c.EndWrite(); }
    } end{control};
    return write();
}

class GatedStore final : public IConfigStore {
public:
    GatedStore(IConfigStore& inner, Control& control) : inner_(inner), control_(control) {}
    std::string ReadValue(const std::string& key, const std::string& section) override {
        return inner_.ReadValue(key, section);
    }
    bool WriteValue(const std::string& value, const std::string& key, const std::string& section) override {
        return GatedWrite(control_, [&] { return inner_.WriteValue(value, key, section); });
    }

private:
    IConfigStore& inner_;
    Control& control_;
};

// Marks the time spent inside a cycle: a stop need not wait for it.
class TrackedCycle final : public ISyncCycle {
public:
    TrackedCycle(ISyncCycle& inner, Control& control) : inner_(inner), control_(control) {}
    std::string SyncTime() override {
        control_.Set(control_.inCycle, true);
        struct Leave {
            Control& c;
            ~Leave() { c.Set(c.inCycle, false); }
        } leave{control_};
        return inner_.SyncTime();
    }

private:
    ISyncCycle& inner_;
    Control& control_;
};

// Builds the worker's parts; an error or a missing part is retried after the retry pause.
bool MakeParts(const WorkerSetup& setup, Control& control, WorkerParts& parts) {
    while (!control.sleeper.StopRequested()) {
        try {
            parts = setup.makeParts(control.sleeper);
            if (parts.store && parts.cycle) return true;
        } catch (...) {
        }
        parts = WorkerParts();
        control.sleeper.Sleep(kRetryMillis);
    }
    return false;
}

void RunWorker(const WorkerSetup& setup, Control& control) {
    WorkerParts parts;
    if (!MakeParts(setup, control, parts)) return;
    GatedStore store(*parts.store, control);
    TrackedCycle cycle(*parts.cycle, control);
    const ScheduleLoop::LogSink& log = setup.log;
    ScheduleLoop loop(
        store, cycle, [&control, &log](const std::string& text) { GatedWrite(control, [&] { log(text); }); },
        setup.now, control.sleeper);
    loop.Run();
}

}  // namespace

CThread::CThread(WorkerSetup setup) : setup_(std::move(setup)) {}

CThread::~CThread() { StopWorker(kDestroyWait); }

bool CThread::StartWorker() {
    setup_.log(texts::kMainServiceStarted);
    std::lock_guard<std::mutex> lock(mutex_);
    if (control_) return false;
    auto control = std::make_shared<Control>();
    WorkerSetup setup = setup_;
    const bool started = platform::StartDetachedThread([control, setup] {
        try {
            RunWorker(setup, *control);
        } catch (...) {
            // Only the loop's own machinery could get here; the worker ends instead of the process.
        }
        control->Set(control->left, true);
    });
    if (started) control_ = std::move(control);
    return started;
}

StopOutcome CThread::StopWorker(std::chrono::milliseconds maxWait) {
    std::shared_ptr<Control> control;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        control = control_;
    }
    if (!control) return StopOutcome::kLeft;
    control->Set(control->stop, true);
    control->sleeper.RequestStop();
    std::unique_lock<std::mutex> lock(control->mutex);
    control->changed.wait_for(lock, maxWait, [&] { return control->left || (control->inCycle && !control->writing); });
    if (control->left) return StopOutcome::kLeft;
    return control->writing ? StopOutcome::kWriting : StopOutcome::kParked;
}

}  // namespace kelvra
