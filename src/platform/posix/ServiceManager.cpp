#include "platform/ServiceManager.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/eventfd.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <thread>

#include "platform/Encoding.h"
#include "platform/Files.h"

extern char** environ;

// The service manager on Linux is systemd. A service is a unit file in the system unit
// directory (KELVRA_UNIT_DIR overrides /etc/systemd/system); the dispatcher runs only under
// systemd (NOTIFY_SOCKET set), reports states with sd_notify and turns signals into controls.

namespace kelvra::platform {
namespace {

constexpr char kDefaultUnitDir[] = "/etc/systemd/system";
constexpr char kSystemdRunningMark[] = "/run/systemd/system";

std::string UnitDir() {
    const char* override = std::getenv("KELVRA_UNIT_DIR");
    return override != nullptr && *override != '\0' ? std::string(override) : std::string(kDefaultUnitDir);
}

std::string UnitName(const std::string& name) { return name + ".service"; }
std::string UnitPath(const std::string& name) { return UnitDir() + "/" + UnitName(name); }

bool SystemdRunning() { return IsDirectory(kSystemdRunningMark); }

// ExecStart takes a command line of its own syntax: quote the path when it needs it.
std::string ExecStartPath(const std::string& path) {
    std::string out;
    bool quote = false;
    for (char c : path) {
        if (c == '%') { out += "%%"; continue; }
        if (c == '$') { out += "$$"; continue; }
        if (c == '\\' || c == '"') { out += '\\'; quote = true; }
        if (c == ' ' || c == '\t' || c == '\'' || c == ';') quote = true;
        out += c;
    }
    return quote ? "\"" + out + "\"" : out;
}

// Runs "systemctl VERB UNIT"; 0 when it succeeded, else its exit status or errno.
int RunSystemctl(const char* verb, const std::string& unit) {
    std::string program = "systemctl", verbCopy = verb, unitCopy = unit;
    char* argv[] = {&program[0], &verbCopy[0], unit.empty() ? nullptr : &unitCopy[0], nullptr};
    pid_t pid = 0;
    const int spawned = ::posix_spawnp(&pid, "systemctl", nullptr, nullptr, argv, environ);
    if (spawned != 0) return spawned;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return errno;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return EINTR;
}

uint32_t ControlOfSignal(int signal) {
    switch (signal) {
    case SIGTERM:
    case SIGINT:
        return kControlStop;
    case SIGUSR1:
        return kControlUserFirst;
    case SIGHUP:
        return kControlInterrogate;
    default:
        return 0;
    }
}

class SystemdServiceManager final : public IServiceManager {
public:
    bool IsInstalled(const std::string& name) override {
        struct stat st{};
        return ::stat(UnitPath(name).c_str(), &st) == 0 && S_ISREG(st.st_mode);
    }

    bool RegisterService(const std::string& name, const std::string& executablePath,
                       const std::string& description) override {
        if (executablePath.empty() || executablePath[0] != '/') {
            errno = ENOENT;
            return false;
        }
        if (!IsDirectory(UnitDir())) {
            errno = ENOENT;
            return false;
        }
        const std::string unit =
            "[Unit]\n"
            "Description=" + Cp936ToUtf8(description) + "\n"
            "\n"
            "[Service]\n"
            "Type=notify\n"
            "ExecStart=" + ExecStartPath(executablePath) + "\n"
            "Restart=on-failure\n"
            "\n"
            "[Install]\n"
            "WantedBy=multi-user.target\n";
        if (!ReplaceFileAtomically(UnitPath(name), unit)) {
            if (errno == 0) errno = EIO;
            return false;
        }
        if (SystemdRunning()) {
            const int result = RunSystemctl("enable", UnitName(name));
            if (result != 0) {
                errno = result;
                return false;
            }
        }
        return true;
    }

    DeleteOutcome RemoveService(const std::string& name) override {
        if (!IsInstalled(name)) {
            errno = ENOENT;
            return DeleteOutcome::NotOpened;
        }
        if (SystemdRunning()) {
            const int result = RunSystemctl("disable", UnitName(name));
            if (result != 0) {
                errno = result;
                return DeleteOutcome::Failed;
            }
        }
        if (::unlink(UnitPath(name).c_str()) != 0) return DeleteOutcome::Failed;
        if (SystemdRunning()) RunSystemctl("daemon-reload", std::string());
        return DeleteOutcome::Deleted;
    }

    uint32_t LastError() override { return uint32_t(errno); }

    bool StartDispatcher(const std::string&, ServiceMainFunction serviceMain) override {
        const char* socket = std::getenv("NOTIFY_SOCKET");
        if (socket == nullptr || *socket == '\0') {
            errno = ENOTSUP;  // not started by the service manager
            return false;
        }
        // Blocked here, before the service-main thread exists, so every later thread
        // inherits the mask and the signals wait for this thread's signalfd.
        sigset_t controls;
        sigemptyset(&controls);
        for (int s : {SIGTERM, SIGINT, SIGUSR1, SIGHUP}) sigaddset(&controls, s);
        if (pthread_sigmask(SIG_BLOCK, &controls, nullptr) != 0) return false;
        const int signals = ::signalfd(-1, &controls, SFD_CLOEXEC);
        const int wake = ::eventfd(0, EFD_CLOEXEC);
        if (signals < 0 || wake < 0) {
            if (signals >= 0) ::close(signals);
            if (wake >= 0) ::close(wake);
            return false;
        }
        wake_.store(wake);
        std::atomic<bool> mainDone{false};
        std::thread mainThread;
        try {
            mainThread = std::thread([&] {
                serviceMain();
                mainDone.store(true);
                Wake();
            });
        } catch (...) {
            wake_.store(-1);
            ::close(signals);
            ::close(wake);
            return false;
        }
        while (!mainDone.load()) {
            // Signals stay queued until a handler is registered to receive them.
            const bool listening = handler_.load() != nullptr;
            pollfd fds[2] = {{wake, POLLIN, 0}, {signals, POLLIN, 0}};
            if (::poll(fds, listening ? 2 : 1, -1) < 0) continue;
            if (fds[0].revents & POLLIN) {
                uint64_t count = 0;
                (void)!::read(wake, &count, sizeof count);
            }
            if (listening && (fds[1].revents & POLLIN)) {
                signalfd_siginfo info{};
                if (::read(signals, &info, sizeof info) == ssize_t(sizeof info)) {
                    const uint32_t code = ControlOfSignal(int(info.ssi_signo));
                    if (ControlHandlerFunction handler = handler_.load()) handler(code);
                }
            }
        }
        mainThread.join();
        wake_.store(-1);
        handler_.store(nullptr);
        ::close(signals);
        ::close(wake);
        return true;
    }

    StatusHandle RegisterControlHandler(const std::string&, ControlHandlerFunction handler) override {
        if (wake_.load() < 0) {
            errno = ENOTSUP;  // only inside the dispatcher
            return nullptr;
        }
        handler_.store(handler);
        Wake();
        return this;
    }

    void SetStatus(StatusHandle handle, const ServiceStatus& status) override {
        if (handle == nullptr) return;
        std::string message;
        switch (status.dwCurrentState) {
        case kServiceStartPending:
            message = "STATUS=start pending";
            break;
        case kServiceRunning:
            message = "READY=1\nSTATUS=running";
            break;
        case kServiceStopPending:
            message = "STOPPING=1\nSTATUS=stop pending";
            break;
        case kServiceStopped:
            message = "STATUS=stopped, exit code " + std::to_string(status.dwWin32ExitCode);
            break;
        default:
            message = "STATUS=state " + std::to_string(status.dwCurrentState);
            break;
        }
        ::sd_notify(0, message.c_str());
    }

private:
    void Wake() {
        const int fd = wake_.load();
        if (fd < 0) return;
        const uint64_t one = 1;
        (void)!::write(fd, &one, sizeof one);
    }

    std::atomic<int> wake_{-1};
    std::atomic<ControlHandlerFunction> handler_{nullptr};
};

}  // namespace

IServiceManager& SystemServiceManager() {
    static SystemdServiceManager manager;
    return manager;
}

}  // namespace kelvra::platform
