// The Windows service for real, under the service control manager: install, start, user
// control 128, stop, remove; console texts byte for byte (redirected: code page 936 bytes).
#ifdef _WIN32
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "common/ServiceHostHelpers.h"
#include "platform/Files.h"
#include "support/Paths.h"
#include "support/Texts.h"

namespace {

namespace sh = kelvra::testing::servicehost;
namespace t = kelvra::texts;
using Clock = std::chrono::steady_clock;

const std::string kServiceKey = "SYSTEM\\CurrentControlSet\\Services\\DaZirAdur";
constexpr uint32_t kStopped = 1, kRunning = 4;

std::string BuiltExecutable() {
    const std::string testDir =
        kelvra::ModuleDirOf(kelvra::platform::ExecutablePath(), '\\');  // ...\tests\  .
    return kelvra::ParentDirOf(testDir, testDir, '\\') + "src\\service\\kelvra-timesync.exe";
}

std::string Lines(std::initializer_list<std::string> lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\r\n";  // text-mode standard output
    return out;
}

bool WaitForState(uint32_t wanted, std::chrono::milliseconds limit, uint32_t& exitCode) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        uint32_t state = 0;
        if (sh::QueryServiceNamed(t::kServiceName, state, exitCode) && state == wanted) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

TEST(WindowsService, InstallStartControlStopRemove) {
    const std::string root = sh::MakeTempDirectory("kelvra-svc-");
    const std::string bin = root + "bin\\";
    ASSERT_TRUE(kelvra::platform::CreateOneDirectory(bin) || kelvra::platform::IsDirectory(bin));
    const std::string exe = bin + "kelvra-timesync.exe";
    ASSERT_TRUE(sh::CopyFileTo(BuiltExecutable(), exe)) << BuiltExecutable();
    // Paused: the worker runs no cycle, so nothing leaves this machine.
    ASSERT_TRUE(kelvra::platform::ReplaceFileAtomically(bin + "config.ini", "[DaZirAdur]\r\nState=0\r\n"));
    const std::string run = "\"" + exe + "\"";
    sh::RunCaptured(run + " -u", 20000);  // a leftover of an earlier run
    sh::DeleteRegistryKey(kServiceKey + "\\Status");
    const std::string title = t::kTitle, done = t::kDone;

    auto console = [&](const std::string& args) { return sh::RunCaptured(run + " " + args, 20000); };

    sh::ProcessResult r = console("-i");
    EXPECT_EQ(r.output, Lines({title, "DaZirAdur installed", done}));
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(console("-v").output,
              Lines({title, "DaZirAdur Version 1.0", "The service is currently installed", done}));
    EXPECT_EQ(console("/I").output, Lines({title, "DaZirAdur is already installed", done}));

    ASSERT_TRUE(sh::WriteRegistryDword(kServiceKey + "\\Parameters", "Start", 100));
    ASSERT_TRUE(sh::WriteRegistryDword(kServiceKey + "\\Parameters", "Inc", 5));
    uint32_t exitCode = 99;
    ASSERT_TRUE(sh::StartServiceNamed(t::kServiceName));
    ASSERT_TRUE(WaitForState(kRunning, std::chrono::seconds(30), exitCode));
    std::this_thread::sleep_for(std::chrono::milliseconds(2500));
    EXPECT_TRUE(sh::ControlServiceNamed(t::kServiceName, 128));
    uint32_t current = 0;
    for (int i = 0; i < 50 && !sh::ReadRegistryDword(kServiceKey + "\\Status", "Current", current); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_GE(current, 105u);
    EXPECT_LE(current, 150u);
    EXPECT_EQ((current - 100) % 5, 0u);
    EXPECT_TRUE(sh::ControlServiceNamed(t::kServiceName, 4));  // interrogate

    const auto stopAt = Clock::now();
    EXPECT_TRUE(sh::ControlServiceNamed(t::kServiceName, 1));
    EXPECT_TRUE(WaitForState(kStopped, std::chrono::seconds(10), exitCode));
    const auto latency = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - stopAt);
    std::printf("stop latency under Wine: %lld ms\n", static_cast<long long>(latency.count()));
    EXPECT_LE(latency.count(), 2000);
    EXPECT_EQ(exitCode, 0u);

    std::string log;
    for (int i = 0; i < 50; ++i) {  // the process writes its last line just before it ends
        log = sh::ReadLogFiles(root + "log\\");
        if (log.find(t::kServiceStopped) != std::string::npos) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_NE(log.find(std::string("\t") + t::kServiceStopped + "\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("\t") + t::kMainServiceStarted + "\r\n"), std::string::npos) << log;

    EXPECT_EQ(console("-u").output,
              Lines({title, "DaZirAdur removed. (You must delete the file (" + exe + ") yourself.)", done}));
    EXPECT_EQ(console("-v").output,
              Lines({title, "DaZirAdur Version 1.0", "The service is not installed", done}));
    EXPECT_EQ(console("-U").output, Lines({title, "DaZirAdur is not installed", done}));

    sh::DeleteRegistryKey(kServiceKey + "\\Parameters");
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    sh::RemoveTree(root);
}

}  // namespace
#endif  // _WIN32
