#include "service/CNTService.h"

#include <cstring>
#include <vector>

#include "support/Texts.h"

namespace kelvra {
namespace {

std::atomic<CNTService*> g_instance{nullptr};

}  // namespace

CNTService::CNTService(const char* name, const ServiceDeps& deps) : deps_(deps) {
    std::strncpy(name_, name, sizeof name_ - 1);
    name_[sizeof name_ - 1] = '\0';
    g_instance.store(this);
}

CNTService::~CNTService() {
    {
        std::lock_guard<std::mutex> lock(eventSourceMutex_);
        if (eventSourceHeld_) deps_.eventLog.Deregister();
        eventSourceHeld_ = false;
    }
    CNTService* self = this;
    g_instance.compare_exchange_strong(self, nullptr);
}

CNTService* CNTService::Instance() { return g_instance.load(); }

uint32_t CNTService::ExitCode() const {
    std::lock_guard<std::mutex> lock(statusMutex_);
    return status_.dwWin32ExitCode;
}

platform::ServiceStatus CNTService::Status() const {
    std::lock_guard<std::mutex> lock(statusMutex_);
    return status_;
}

void CNTService::ReportServiceEvent(platform::EventType type, uint32_t id, const char* s1,
                                    const char* s2, const char* s3) {
    std::vector<std::string> strings;
    for (const char* s : {s1, s2, s3}) {
        if (s == nullptr) break;  // callers fill the strings from s1 on
        strings.emplace_back(s);
    }
    // Both the main and the service-main thread report; the source is registered once,
    // and a failed registration is tried again by the next report.
    std::lock_guard<std::mutex> lock(eventSourceMutex_);
    if (!eventSourceHeld_) eventSourceHeld_ = deps_.eventLog.Register(name_);
    if (eventSourceHeld_) deps_.eventLog.Report(type, id, strings);
}

void CNTService::SetStatus(uint32_t state) {
    platform::ServiceStatus copy;
    platform::StatusHandle handle;
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        status_.dwCurrentState = state;
        copy = status_;
        handle = statusHandle_;
    }
    deps_.manager.SetStatus(handle, copy);
}

void CNTService::ReportStatus() {
    platform::ServiceStatus copy;
    platform::StatusHandle handle;
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        copy = status_;
        handle = statusHandle_;
    }
    deps_.manager.SetStatus(handle, copy);
}

bool CNTService::Initialize() {
    SetStatus(platform::kServiceStartPending);
    const bool prepared = PrepareStart();
    const uint32_t lastError = deps_.manager.LastError();
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        // A failing PrepareStart hands its reason to the service manager as the exit code.
        status_.dwWin32ExitCode = lastError;
        status_.dwCheckPoint = 0;
        status_.dwWaitHint = 0;
    }
    if (!prepared) {
        ReportServiceEvent(platform::EventType::Error, 104);
        SetStatus(platform::kServiceStopped);
        return false;
    }
    ReportServiceEvent(platform::EventType::Information, 105);
    // The flag is set before running is reported, and a stop request that came first wins:
    // once the service manager can send stop, nothing sets the flag again.
    running_.store(1);
    if (stopRequested_.load()) {
        running_.store(0);
        return true;  // stop pending stays the state; the body returns at once
    }
    SetStatus(platform::kServiceRunning);
    return true;
}

void CNTService::ServiceMain() {
    if (CNTService* service = Instance()) service->ServiceMainBody();
}

void CNTService::ServiceMainBody() {
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        status_.dwCurrentState = platform::kServiceStartPending;
    }
    const platform::StatusHandle handle = deps_.manager.RegisterControlHandler(name_, &ControlHandler);
    if (handle == nullptr) {
        ReportServiceEvent(platform::EventType::Error, 103);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(statusMutex_);
        statusHandle_ = handle;
    }
    if (Initialize()) {
        {
            std::lock_guard<std::mutex> lock(statusMutex_);
            status_.dwWin32ExitCode = 0;
            status_.dwCheckPoint = 0;
            status_.dwWaitHint = 0;
        }
        if (deps_.startWorker) deps_.startWorker();
        Run();
    }
    deps_.writeLog(texts::kServiceStopped);
    SetStatus(platform::kServiceStopped);
}

void CNTService::ControlHandler(uint32_t code) {
    if (CNTService* service = Instance()) service->HandleControl(code);
}

void CNTService::HandleControl(uint32_t code) {
    switch (code) {
    case platform::kControlStop:
        SetStatus(platform::kServiceStopPending);
        HandleStop();
        stopRequested_.store(1);
        running_.store(0);
        ReportServiceEvent(platform::EventType::Information, 108);
        break;
    case platform::kControlPause:
        HandlePause();
        break;
    case platform::kControlContinue:
        HandleContinue();
        break;
    case platform::kControlInterrogate:
        HandleInterrogate();
        break;
    case platform::kControlShutdown:
        HandleShutdown();
        break;
    default:
        if (code < platform::kControlUserFirst || !HandleUserControl(code)) {
            ReportServiceEvent(platform::EventType::Error, 106);
        }
        break;
    }
    // The answer to interrogate; after a stop it repeats the stop-pending state.
    ReportStatus();
}

void CNTService::Run() {
    while (running_.load() != 0) deps_.sleeper.Sleep(5000);
}

bool CNTService::PrepareStart() { return true; }

bool CNTService::HandleUserControl(uint32_t) { return false; }

}  // namespace kelvra
