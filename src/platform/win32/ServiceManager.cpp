#include "platform/ServiceManager.h"

#include <windows.h>

#include <atomic>

namespace kelvra::platform {
namespace {

// The platform calls these without context and with its own calling convention.
std::atomic<ServiceMainFunction> g_serviceMain{nullptr};
std::atomic<ControlHandlerFunction> g_handler{nullptr};

VOID WINAPI ServiceMainEntry(DWORD, LPSTR*) {
    if (ServiceMainFunction main = g_serviceMain.load()) main();
}

VOID WINAPI ControlHandlerEntry(DWORD code) {
    if (ControlHandlerFunction handler = g_handler.load()) handler(code);
}

class ScmHandle {
public:
    explicit ScmHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScmHandle() {
        if (handle_ != nullptr) CloseServiceHandle(handle_);
    }
    ScmHandle(const ScmHandle&) = delete;
    ScmHandle& operator=(const ScmHandle&) = delete;
    SC_HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    SC_HANDLE handle_;
};

SC_HANDLE OpenManager() { return OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS); }

class WindowsServiceManager final : public IServiceManager {
public:
    bool IsInstalled(const std::string& name) override {
        ScmHandle scm(OpenManager());
        if (!scm) return false;
        ScmHandle service(OpenServiceA(scm.get(), name.c_str(), SERVICE_QUERY_CONFIG));
        return bool(service);
    }

    bool RegisterService(const std::string& name, const std::string& executablePath,
                       const std::string&) override {
        ScmHandle scm(OpenManager());
        if (!scm) return false;
        // The description is written to the registry by the caller; CreateServiceA has no place for it.
        ScmHandle service(CreateServiceA(scm.get(), name.c_str(), name.c_str(), SERVICE_ALL_ACCESS,
                                         SERVICE_WIN32_OWN_PROCESS, SERVICE_AUTO_START,
                                         SERVICE_ERROR_NORMAL, executablePath.c_str(), nullptr,
                                         nullptr, nullptr, nullptr, nullptr));
        if (!service) {
            const DWORD error = GetLastError();
            SetLastError(error);  // survives the closing of the manager's handle
            return false;
        }
        return true;
    }

    DeleteOutcome RemoveService(const std::string& name) override {
        DWORD error = 0;
        DeleteOutcome outcome = DeleteOutcome::Failed;
        {
            ScmHandle scm(OpenManager());
            if (!scm) return DeleteOutcome::NotOpened;
            ScmHandle service(OpenServiceA(scm.get(), name.c_str(), DELETE));
            if (!service) {
                error = GetLastError();
                outcome = DeleteOutcome::NotOpened;
            } else if (::DeleteService(service.get())) {
                outcome = DeleteOutcome::Deleted;
            } else {
                error = GetLastError();
            }
        }
        if (outcome != DeleteOutcome::Deleted) SetLastError(error);
        return outcome;
    }

    uint32_t LastError() override { return GetLastError(); }

    bool StartDispatcher(const std::string& name, ServiceMainFunction serviceMain) override {
        g_serviceMain.store(serviceMain);
        std::string nameCopy = name;
        SERVICE_TABLE_ENTRYA table[] = {
            {&nameCopy[0], &ServiceMainEntry},
            {nullptr, nullptr},
        };
        return StartServiceCtrlDispatcherA(table) != 0;
    }

    StatusHandle RegisterControlHandler(const std::string& name, ControlHandlerFunction handler) override {
        g_handler.store(handler);
        return reinterpret_cast<StatusHandle>(RegisterServiceCtrlHandlerA(name.c_str(), &ControlHandlerEntry));
    }

    void SetStatus(StatusHandle handle, const ServiceStatus& status) override {
        if (handle == nullptr) return;
        SERVICE_STATUS record{};
        record.dwServiceType = status.dwServiceType;
        record.dwCurrentState = status.dwCurrentState;
        record.dwControlsAccepted = status.dwControlsAccepted;
        record.dwWin32ExitCode = status.dwWin32ExitCode;
        record.dwServiceSpecificExitCode = status.dwServiceSpecificExitCode;
        record.dwCheckPoint = status.dwCheckPoint;
        record.dwWaitHint = status.dwWaitHint;
        ::SetServiceStatus(reinterpret_cast<SERVICE_STATUS_HANDLE>(handle), &record);
    }
};

}  // namespace

IServiceManager& SystemServiceManager() {
    static WindowsServiceManager manager;
    return manager;
}

}  // namespace kelvra::platform
