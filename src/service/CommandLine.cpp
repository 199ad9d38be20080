#include "service/CommandLine.h"

#include <cstdarg>
#include <cstdio>
#include <string>
#include <vector>

#include "support/Texts.h"

namespace kelvra {
namespace {

bool IsSwitch(const char* arg, char letter) {
    return (arg[0] == '-' || arg[0] == '/') && (arg[1] == letter || arg[1] == letter - 'a' + 'A') &&
           arg[2] == '\0';
}

}  // namespace

std::string FormatText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int size = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string out;
    if (size > 0) {
        std::vector<char> buffer(size_t(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, args);
        out.assign(buffer.data(), size_t(size));
    }
    va_end(args);
    return out;
}

bool CNTService::ParseCommandLine(int argc, char** argv) {
    if (argc <= 1 || argv[1] == nullptr) return false;
    const char* arg = argv[1];  // later arguments are never looked at
    auto& write = deps_.writeConsole;
    if (IsSwitch(arg, 'v')) {
        write(FormatText(texts::kVersionLine, Name(), int(MajorVersion()), int(MinorVersion())));
        write(FormatText(texts::kInstalledLine, IsInstalled() ? texts::kCurrently : texts::kNot));
        return true;
    }
    if (IsSwitch(arg, 'i')) {
        if (IsInstalled()) {
            write(FormatText(texts::kAlreadyInstalled, Name()));
        } else if (Install()) {
            write(FormatText(texts::kInstalled, Name()));
        } else {
            const uint32_t error = deps_.manager.LastError();
            write(FormatText(texts::kInstallFailed, Name(), int(error)));
        }
        return true;
    }
    if (IsSwitch(arg, 'u')) {
        if (!IsInstalled()) {
            write(FormatText(texts::kNotInstalled, Name()));
        } else if (Uninstall()) {
            write(FormatText(texts::kRemoved, Name(), deps_.executablePath.c_str()));
        } else {
            const uint32_t error = deps_.manager.LastError();
            write(FormatText(texts::kRemoveFailed, Name(), int(error)));
        }
        return true;
    }
    return false;
}

bool CNTService::IsInstalled() { return deps_.manager.IsInstalled(Name()); }

bool CNTService::Install() {
    const std::string& path = deps_.executablePath;
    if (!deps_.manager.RegisterService(Name(), path, texts::kServiceDescription)) return false;

    const std::string eventKey =
        std::string("SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\") + Name();
    // The service stays registered when its event source cannot be; a second -i then says so.
    if (!deps_.registry.WriteString(eventKey, "EventMessageFile", path, true)) return false;
    deps_.registry.WriteDword(eventKey, "TypesSupported", 7);

    const std::string serviceKey = std::string("SYSTEM\\CurrentControlSet\\Services\\") + Name();
    deps_.registry.WriteString(serviceKey, "Description", texts::kServiceDescription, false);

    ReportServiceEvent(platform::EventType::Information, 100, Name());
    return true;
}

bool CNTService::Uninstall() {
    switch (deps_.manager.RemoveService(Name())) {
    case platform::DeleteOutcome::NotOpened:
        return false;
    case platform::DeleteOutcome::Deleted:
        ReportServiceEvent(platform::EventType::Information, 101, Name());
        return true;
    case platform::DeleteOutcome::Failed:
        break;
    }
    ReportServiceEvent(platform::EventType::Error, 102, Name());
    return false;
}

bool CNTService::StartDispatcher() { return deps_.manager.StartDispatcher(Name(), &ServiceMain); }

int RunEntryPoint(CNTService& service, int argc, char** argv, const EntryDeps& deps) {
    if (!deps.startRuntime()) {
        deps.writeConsole(std::string(texts::kMfcInitFailed) + "\n");
        deps.readConsoleChar();
    } else {
        std::string title;
        if (!deps.loadTitle(title)) title.clear();
        deps.writeConsole(title + "\n");
    }
    service.SetRunning(true);
    int exitCode = 0;
    if (argc > 1 && argv[1] != nullptr && IsSwitch(argv[1], 'q') && deps.queryTimeSources) {
        // The query's outcome is the exit code, so that scripts can act on it.
        exitCode = deps.queryTimeSources();
    } else {
        if (!service.ParseCommandLine(argc, argv)) service.StartDispatcher();
        exitCode = int(service.ExitCode());
    }
    deps.writeConsole(std::string(texts::kDone) + "\n");
    return exitCode;
}

}  // namespace kelvra
