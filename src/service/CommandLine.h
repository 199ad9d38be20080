#pragma once
#include <functional>
#include <string>

#include "service/CNTService.h"

namespace kelvra {

// What the entry point needs besides the service object.
struct EntryDeps {
    std::function<bool()> startRuntime;             // false: the start-up failed
    std::function<bool(std::string&)> loadTitle;    // false: no title to show (an empty line)
    std::function<void(const std::string&)> writeConsole;
    std::function<int()> readConsoleChar;
    // -q: asks every time source once and reports; returns the exit code. Empty: no -q.
    std::function<int()> queryTimeSources = nullptr;
};

// The process entry point: title, running flag, one command-line action or the dispatcher,
// the closing line. Returns the process exit code: the query's after -q, else the status
// record's dwWin32ExitCode.
int RunEntryPoint(CNTService& service, int argc, char** argv, const EntryDeps& deps);

// printf-style formatting of a console text.
std::string FormatText(const char* format, ...);

}  // namespace kelvra
