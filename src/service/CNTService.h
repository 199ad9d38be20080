#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "platform/EventLog.h"
#include "platform/Registry.h"
#include "platform/ServiceManager.h"
#include "platform/Sleeper.h"

namespace kelvra {

// What the service object works with; main hands it the real ones, tests hand it fakes.
struct ServiceDeps {
    platform::IServiceManager& manager;
    platform::IEventLog& eventLog;
    platform::IRegistry& registry;
    platform::ISleeper& sleeper;                       // the body's sleeps
    std::function<void(const std::string&)> writeLog;  // one line of the daily log
    std::function<bool()> startWorker;                 // the worker holder's StartWorker()
    std::function<void(const std::string&)> writeConsole;
    std::string executablePath;
};

// A service: its name and version, its status record and its reports to the service manager,
// the control handler and the event log; plus the command-line actions that install,
// remove and describe it (CommandLine.cpp).
class CNTService {
public:
    CNTService(const char* name, const ServiceDeps& deps);
    virtual ~CNTService();
    CNTService(const CNTService&) = delete;
    CNTService& operator=(const CNTService&) = delete;

    // --- command line ---
    bool ParseCommandLine(int argc, char** argv);
    bool IsInstalled();
    bool Install();
    bool Uninstall();
    bool StartDispatcher();

    // --- runtime ---
    void ReportServiceEvent(platform::EventType type, uint32_t id, const char* s1 = nullptr,
                            const char* s2 = nullptr, const char* s3 = nullptr);
    void SetStatus(uint32_t state);
    bool Initialize();
    static void ServiceMain();
    static void ControlHandler(uint32_t code);
    static CNTService* Instance();

    // Hooks, in slot order.
    virtual void Run();
    virtual bool PrepareStart();
    virtual void HandleStop() {}
    virtual void HandleInterrogate() {}
    virtual void HandlePause() {}
    virtual void HandleContinue() {}
    virtual void HandleShutdown() {}
    virtual bool HandleUserControl(uint32_t code);

    const char* Name() const { return name_; }
    uint32_t MajorVersion() const { return majorVersion_; }
    uint32_t MinorVersion() const { return minorVersion_; }
    bool IsRunning() const { return running_.load() != 0; }
    void SetRunning(bool on) { running_.store(on ? 1 : 0); }
    uint32_t ExitCode() const;
    platform::ServiceStatus Status() const;

protected:
    ServiceDeps deps_;

private:
    void ServiceMainBody();
    void HandleControl(uint32_t code);
    void ReportStatus();

    char name_[64] = {};
    uint32_t majorVersion_ = 1;
    uint32_t minorVersion_ = 0;
    platform::StatusHandle statusHandle_ = nullptr;
    mutable std::mutex statusMutex_;  // the record is written by the main and service-main threads
    platform::ServiceStatus status_;
    std::atomic<uint32_t> running_{0};
    std::atomic<uint32_t> stopRequested_{0};
    std::mutex eventSourceMutex_;  // one registration of the event source, whichever thread comes first
    bool eventSourceHeld_ = false;
};

}  // namespace kelvra
