#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "service/CMyService.h"
#include "service/CommandLine.h"
#include "service/ServiceFakes.h"
#include "support/Texts.h"

namespace {

using kelvra::CMyService;
using kelvra::testing::ServiceFixture;
using Entries = std::vector<std::string>;
namespace p = kelvra::platform;
namespace t = kelvra::texts;

const std::string kExe = "C:\\Svc\\Bin\\kelvra-timesync.exe";
const std::string kTitleLine = std::string(t::kTitle) + "\n";
const std::string kDoneLine = std::string(t::kDone) + "\n";

struct MainRun {
    std::string console;
    Entries timeline;
    int exitCode = -1;
    int charsRead = 0;
};

struct MainSetup {
    bool installed = false;
    bool createSucceeds = true;
    p::DeleteOutcome deleteOutcome = p::DeleteOutcome::Deleted;
    uint32_t lastError = 0;
    bool runtimeStarts = true;
    bool hasTitle = true;
    bool dispatcherRuns = false;
};

MainRun RunMain(std::vector<std::string> args, const MainSetup& setup = {}) {
    ServiceFixture f;
    f.manager.installed = setup.installed;
    f.manager.createSucceeds = setup.createSucceeds;
    f.manager.deleteOutcome = setup.deleteOutcome;
    f.manager.lastError = setup.lastError;
    f.manager.dispatcherRuns = setup.dispatcherRuns;
    CMyService service(f.Deps(kExe));
    MainRun run;
    kelvra::EntryDeps deps{
        [&] { return setup.runtimeStarts; },
        [&](std::string& title) {
            if (!setup.hasTitle) return false;
            title = t::kTitle;
            return true;
        },
        [&](const std::string& text) { f.console += text; },
        [&] {
            ++run.charsRead;
            return 'x';
        },
    };
    args.insert(args.begin(), "kelvra-timesync.exe");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    run.exitCode = kelvra::RunEntryPoint(service, int(args.size()), argv.data(), deps);
    run.console = f.console;
    run.timeline = f.timeline.Entries();
    return run;
}

struct ConsoleCase {
    const char* name;
    std::vector<std::string> args;
    MainSetup setup;
    std::string middle;  // what is printed between the title and the closing line
};

TEST(CommandLine, EverySwitchPrintsItsTextsByteForByte) {
    const std::string removed =
        "DaZirAdur removed. (You must delete the file (" + kExe + ") yourself.)\n";
    const ConsoleCase cases[] = {
        {"-v installed", {"-v"}, {true}, "DaZirAdur Version 1.0\nThe service is currently installed\n"},
        {"-v not installed", {"-v"}, {}, "DaZirAdur Version 1.0\nThe service is not installed\n"},
        {"/V capital", {"/V"}, {}, "DaZirAdur Version 1.0\nThe service is not installed\n"},
        {"-v then -i", {"-v", "-i"}, {}, "DaZirAdur Version 1.0\nThe service is not installed\n"},
        {"-i installs", {"-i"}, {}, "DaZirAdur installed\n"},
        {"/I installs", {"/I"}, {}, "DaZirAdur installed\n"},
        {"-i already", {"-i"}, {true}, "DaZirAdur is already installed\n"},
        {"-i fails", {"-i"}, {false, false, p::DeleteOutcome::Deleted, 5},
         "DaZirAdur failed to install. Error 5\n"},
        {"-u removes", {"-u"}, {true}, removed},
        {"-U removes", {"-U"}, {true}, removed},
        {"-u not installed", {"-u"}, {}, "DaZirAdur is not installed\n"},
        {"-u cannot open", {"-u"}, {true, true, p::DeleteOutcome::NotOpened, 5},
         "Could not remove DaZirAdur. Error 5\n"},
        {"-u delete fails", {"-u"}, {true, true, p::DeleteOutcome::Failed, 1072},
         "Could not remove DaZirAdur. Error 1072\n"},
        {"no argument", {}, {}, ""},
        {"other switch", {"-x"}, {}, ""},
        {"two dashes", {"--v"}, {}, ""},
        {"a word", {"install"}, {}, ""},
    };
    for (const auto& c : cases) {
        const MainRun run = RunMain(c.args, c.setup);
        EXPECT_EQ(run.console, kTitleLine + c.middle + kDoneLine) << c.name;
        EXPECT_EQ(run.exitCode, 0) << c.name;
    }
}

TEST(CommandLine, InstallRegistersTheServiceItsEventSourceAndDescriptionThenReports100) {
    const MainRun run = RunMain({"-i"});
    const Entries expected = {
        "is-installed DaZirAdur",
        "create DaZirAdur " + kExe,
        "write SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\DaZirAdur\\EventMessageFile=expand:" + kExe,
        "write SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\DaZirAdur\\TypesSupported=7",
        std::string("write SYSTEM\\CurrentControlSet\\Services\\DaZirAdur\\Description=sz:") + t::kServiceDescription,
        "event info 100 DaZirAdur",
    };
    EXPECT_EQ(run.timeline, expected);
}

TEST(CommandLine, RemovalReports101OnSuccess102OnFailureAndNothingWhenItCannotOpen) {
    struct Case {
        p::DeleteOutcome outcome;
        Entries events;
    } cases[] = {
        {p::DeleteOutcome::Deleted, {"event info 101 DaZirAdur"}},
        {p::DeleteOutcome::Failed, {"event error 102 DaZirAdur"}},
        {p::DeleteOutcome::NotOpened, {}},
    };
    for (const auto& c : cases) {
        MainSetup setup;
        setup.installed = true;
        setup.deleteOutcome = c.outcome;
        const MainRun run = RunMain({"-u"}, setup);
        Entries events;
        for (const auto& e : run.timeline) {
            if (e.rfind("event ", 0) == 0) events.push_back(e);
        }
        EXPECT_EQ(events, c.events);
    }
}

TEST(CommandLine, OnlyAnUnrecognisedArgumentStartsTheDispatcher) {
    for (const auto& args : std::vector<std::vector<std::string>>{{}, {"-x"}, {"-v"}, {"/u"}, {"-I"}}) {
        const MainRun run = RunMain(args);
        const bool dispatched =
            std::find(run.timeline.begin(), run.timeline.end(), "dispatcher DaZirAdur") != run.timeline.end();
        const bool isSwitch = !args.empty() && args[0] != "-x";
        EXPECT_EQ(dispatched, !isSwitch) << (args.empty() ? "(none)" : args[0]);
    }
}

TEST(CommandLine, AFailedStartUpPrintsItsMessageReadsACharacterAndSkipsTheTitle) {
    MainSetup setup;
    setup.runtimeStarts = false;
    const MainRun run = RunMain({"-v"}, setup);
    EXPECT_EQ(run.console, std::string("Fatal Error: MFC initialization failed\n") +
                               "DaZirAdur Version 1.0\nThe service is not installed\n" + kDoneLine);
    EXPECT_EQ(run.charsRead, 1);
}

TEST(CommandLine, AMissingTitleGivesAnEmptyFirstLine) {
    MainSetup setup;
    setup.hasTitle = false;
    EXPECT_EQ(RunMain({}, setup).console, "\n" + kDoneLine);
}

class FailingStart : public CMyService {
public:
    using CMyService::CMyService;
    bool PrepareStart() override { return false; }
};

TEST(CommandLine, TheExitCodeIsTheServicesExitCode) {
    ServiceFixture f;
    f.manager.dispatcherRuns = true;
    f.manager.lastError = 87;
    FailingStart service(f.Deps());
    kelvra::EntryDeps deps{[] { return true; },
                           [](std::string& title) {
                               title = t::kTitle;
                               return true;
                           },
                           [&](const std::string& text) { f.console += text; }, [] { return 0; }};
    char program[] = "kelvra-timesync";
    char* argv[] = {program, nullptr};
    EXPECT_EQ(kelvra::RunEntryPoint(service, 1, argv, deps), 87);
    EXPECT_EQ(f.console, kTitleLine + kDoneLine);
}

}  // namespace
