#include <string>

#include "platform/Console.h"
#include "platform/Startup.h"
#include "service/CommandLine.h"
#include "service/ProcessObjects.h"
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
    };
    return kelvra::RunEntryPoint(kelvra::TheService(), argc, argv, deps);
}
