#pragma once
#include <cstdint>
#include <string>

namespace kelvra::platform {

// Service states and control codes, with the numbers of the Windows service control manager.
enum : uint32_t {
    kServiceStopped = 1,
    kServiceStartPending = 2,
    kServiceStopPending = 3,
    kServiceRunning = 4,
};
enum : uint32_t {
    kControlStop = 1,
    kControlPause = 2,
    kControlContinue = 3,
    kControlInterrogate = 4,
    kControlShutdown = 5,
    kControlUserFirst = 128,
};
inline constexpr uint32_t kServiceWin32OwnProcess = 16;
inline constexpr uint32_t kServiceAcceptStop = 1;

// The status record, field for field SERVICE_STATUS.
struct ServiceStatus {
    uint32_t dwServiceType = kServiceWin32OwnProcess;
    uint32_t dwCurrentState = kServiceStopped;
    uint32_t dwControlsAccepted = kServiceAcceptStop;
    uint32_t dwWin32ExitCode = 0;
    uint32_t dwServiceSpecificExitCode = 0;
    uint32_t dwCheckPoint = 0;
    uint32_t dwWaitHint = 0;
};

using StatusHandle = void*;  // null when the control handler could not be registered
using ServiceMainFunction = void (*)();
using ControlHandlerFunction = void (*)(uint32_t code);

enum class DeleteOutcome { NotOpened, Deleted, Failed };

// The service control manager.
// Windows: the real SCM. Linux: systemd (a unit file, NOTIFY_SOCKET, signals as control codes).
class IServiceManager {
public:
    virtual ~IServiceManager() = default;

    // --- registration (command line) ---
    // Whether a service of this name is registered; false also when the manager cannot be opened.
    virtual bool IsInstalled(const std::string& name) = 0;
    // Registers an automatically started service of its own process that runs `executablePath`
    // with no arguments. False when the manager cannot be opened or the service not created.
    virtual bool RegisterService(const std::string& name, const std::string& executablePath,
                               const std::string& description) = 0;
    // Deletes the service: NotOpened when it cannot be opened for deletion.
    virtual DeleteOutcome RemoveService(const std::string& name) = 0;
    // The code the platform's last failing call on this thread left (GetLastError / errno).
    virtual uint32_t LastError() = 0;

    // --- running (dispatcher) ---
    // Hands the calling thread to the dispatcher: `serviceMain` runs on a thread of its own and
    // control requests reach the registered handler on the calling thread. Returns once the
    // service main function has finished; false at once when the process was not started by
    // the service manager.
    virtual bool StartDispatcher(const std::string& name, ServiceMainFunction serviceMain) = 0;
    virtual StatusHandle RegisterControlHandler(const std::string& name,
                                                ControlHandlerFunction handler) = 0;
    virtual void SetStatus(StatusHandle handle, const ServiceStatus& status) = 0;
};

IServiceManager& SystemServiceManager();

}  // namespace kelvra::platform
