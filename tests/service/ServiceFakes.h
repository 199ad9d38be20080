#pragma once
// Fakes of the service host's dependencies. Every call they see goes into one timeline, so a
// test can compare the order of status reports, events, log lines and worker starts.
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/EventLog.h"
#include "platform/Registry.h"
#include "platform/ServiceManager.h"
#include "platform/Sleeper.h"
#include "service/CNTService.h"

namespace kelvra::testing {

class Timeline {
public:
    void Add(const std::string& entry) {
        std::lock_guard<std::mutex> lock(mutex_);
        entries_.push_back(entry);
    }
    std::vector<std::string> Entries() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return entries_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> entries_;
};

inline std::string StatusEntry(uint32_t state, uint32_t exitCode = 0) {
    return "status " + std::to_string(state) + " exit " + std::to_string(exitCode);
}

class FakeServiceManager : public platform::IServiceManager {
public:
    explicit FakeServiceManager(Timeline& timeline) : timeline_(timeline) {}

    bool installed = false;
    bool createSucceeds = true;
    platform::DeleteOutcome deleteOutcome = platform::DeleteOutcome::Deleted;
    uint32_t lastError = 0;
    bool registerSucceeds = true;
    bool dispatcherRuns = true;  // false: as from a console
    std::function<void(const platform::ServiceStatus&)> onStatus;
    platform::ControlHandlerFunction handler = nullptr;
    std::vector<platform::ServiceStatus> reports;

    bool IsInstalled(const std::string& name) override {
        timeline_.Add("is-installed " + name);
        return installed;
    }
    bool RegisterService(const std::string& name, const std::string& path, const std::string&) override {
        timeline_.Add("create " + name + " " + path);
        if (createSucceeds) installed = true;
        return createSucceeds;
    }
    platform::DeleteOutcome RemoveService(const std::string& name) override {
        timeline_.Add("delete " + name);
        if (deleteOutcome == platform::DeleteOutcome::Deleted) installed = false;
        return deleteOutcome;
    }
    uint32_t LastError() override { return lastError; }
    bool StartDispatcher(const std::string& name, platform::ServiceMainFunction serviceMain) override {
        timeline_.Add("dispatcher " + name);
        if (!dispatcherRuns) return false;
        serviceMain();
        return true;
    }
    platform::StatusHandle RegisterControlHandler(const std::string& name,
                                                  platform::ControlHandlerFunction h) override {
        timeline_.Add("register-handler " + name);
        if (!registerSucceeds) return nullptr;
        handler = h;
        return this;
    }
    void SetStatus(platform::StatusHandle, const platform::ServiceStatus& status) override {
        reports.push_back(status);
        timeline_.Add(StatusEntry(status.dwCurrentState, status.dwWin32ExitCode));
        if (onStatus) onStatus(status);
    }

private:
    Timeline& timeline_;
};

class FakeEventLog : public platform::IEventLog {
public:
    explicit FakeEventLog(Timeline& timeline) : timeline_(timeline) {}

    int registerFailures = 0;  // this many registrations fail before one succeeds
    int registrations = 0;
    int deregistrations = 0;

    bool Register(const std::string&) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++registrations;
        if (registerFailures > 0) {
            --registerFailures;
            return false;
        }
        return true;
    }
    void Report(platform::EventType type, uint32_t id, const std::vector<std::string>& strings) override {
        std::string entry = std::string(type == platform::EventType::Error ? "error " : "info ") +
                            std::to_string(id);
        for (const auto& s : strings) entry += " " + s;
        timeline_.Add("event " + entry);
    }
    void Deregister() override { ++deregistrations; }

private:
    std::mutex mutex_;
    Timeline& timeline_;
};

// Values by "key\name"; a value that is not a number (type "sz") does not read as a DWORD.
class FakeRegistry : public platform::IRegistry {
public:
    explicit FakeRegistry(Timeline& timeline) : timeline_(timeline) {}

    std::map<std::string, uint32_t> dwords;
    std::map<std::string, std::string> strings;
    bool writesSucceed = true;

    bool ReadDword(const std::string& key, const std::string& name, uint32_t& value) override {
        auto it = dwords.find(key + "\\" + name);
        if (it == dwords.end()) return false;
        value = it->second;
        return true;
    }
    bool WriteDword(const std::string& key, const std::string& name, uint32_t value) override {
        timeline_.Add("write " + key + "\\" + name + "=" + std::to_string(value));
        if (!writesSucceed) return false;
        dwords[key + "\\" + name] = value;
        return true;
    }
    bool WriteString(const std::string& key, const std::string& name, const std::string& value,
                     bool expandable) override {
        timeline_.Add("write " + key + "\\" + name + (expandable ? "=expand:" : "=sz:") + value);
        if (!writesSucceed) return false;
        strings[key + "\\" + name] = value;
        return true;
    }

private:
    Timeline& timeline_;
};

// Calls `onSleep(n)` at the n-th sleep (from 1) instead of sleeping.
class ScriptedSleeper : public platform::ISleeper {
public:
    std::function<void(int)> onSleep;
    int sleeps = 0;
    std::vector<uint32_t> durations;

    bool Sleep(uint32_t ms) override {
        durations.push_back(ms);
        ++sleeps;
        if (onSleep) onSleep(sleeps);
        return true;
    }
    bool StopRequested() const override { return false; }
};

// All fakes together, with the dependency record that hands them to a service.
struct ServiceFixture {
    Timeline timeline;
    FakeServiceManager manager{timeline};
    FakeEventLog eventLog{timeline};
    FakeRegistry registry{timeline};
    ScriptedSleeper sleeper;
    std::string console;
    bool workerStarts = true;

    ServiceDeps Deps(const std::string& exePath = "C:\\Svc\\Bin\\kelvra-timesync.exe") {
        return ServiceDeps{
            manager,
            eventLog,
            registry,
            sleeper,
            [this](const std::string& text) { timeline.Add("log " + text); },
            [this] {
                timeline.Add("start-worker");
                return workerStarts;
            },
            [this](const std::string& text) { console += text; },
            exePath,
        };
    }
};

}  // namespace kelvra::testing
