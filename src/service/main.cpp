#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/Console.h"
#include "platform/Startup.h"
#include "service/CommandLine.h"
#include "service/ProcessObjects.h"
#include "service/SourceQuery.h"
#include "support/Texts.h"

namespace {

bool LoadTitle(std::string& title) {
#ifdef _WIN32
    return kelvra::platform::LoadStringResource(1, title);
#else
    title = kelvra::texts::kTitle;  // Linux executables carry no string resources
    return true;
#endif
}

}  // namespace

int main(int argc, char** argv) {
    kelvra::EntryDeps deps{
        [] { return kelvra::platform::StartProcessRuntime(); },
        &LoadTitle,
        [](const std::string& text) { kelvra::platform::WriteConsoleText(text); },
        [] { return kelvra::platform::ReadConsoleChar(); },
        [] {
            return kelvra::RunTimeSourceQuery(
                [](const std::string& text) { kelvra::platform::WriteConsoleText(text); });
        },
    };
    const int exitCode = kelvra::RunEntryPoint(kelvra::TheService(), argc, argv, deps);
    // The worker is asked to stop now rather than by the holder's destructor: when it is stuck in
    // a network call, the process ends at once instead of destroying what the worker still uses.
    if (kelvra::TheWorkerHolder().StopWorker(kelvra::CThread::kDestroyWait) != kelvra::StopOutcome::kLeft) {
        std::fflush(stdout);
        std::_Exit(exitCode);
    }
    return exitCode;
}
