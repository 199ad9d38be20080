// A process killed at any moment of a write of config.ini or of a log line leaves both files
// whole: config.ini holds the old content or the new one, byte for byte, and the log holds
// only whole lines.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/SupportTempDir.h"
#include "platform/Files.h"

namespace {

// A line appended after a torn one starts on a line of its own; whole files are only appended to.
TEST(AppendLine, ATornLastLineGetsItsLineEndFirst) {
#ifdef _WIN32
    const std::string eol = "\r\n";
#else
    const std::string eol = "\n";
#endif
    struct Case {
        const char* what;
        bool exists;
        std::string before, after;
    };
    const std::string line = "2024-03-05 09:07:03\tnext" + eol;
    const std::vector<Case> cases = {
        {"missing file", false, "", line},
        {"empty file", true, "", line},
        {"whole last line", true, "2024-03-05 09:07:02\ta" + eol, "2024-03-05 09:07:02\ta" + eol + line},
        {"torn last line", true, "2024-03-05 09:0", "2024-03-05 09:0" + eol + line},
        {"torn inside the line end", true, "2024-03-05 09:07:02\ta\r", "2024-03-05 09:07:02\ta\r\n" + line},
    };
    for (const Case& c : cases) {
        kelvra::test::SupportTempDir dir;
        const std::string path = dir.path() + "day.log";
        if (c.exists) {
            ASSERT_TRUE(kelvra::platform::AppendToFile(path, c.before)) << c.what;
        }
        ASSERT_TRUE(kelvra::platform::AppendLineToFile(path, line)) << c.what;
        EXPECT_EQ(kelvra::test::SupportReadFile(path), c.after) << c.what;
    }
}

}  // namespace

#ifndef _WIN32

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "common/DrillsKill.h"
#include "common/SupportTempDir.h"
#include "platform/Clock.h"
#include "platform/PrivateProfile.h"
#include "support/DailyLog.h"

namespace {

using kelvra::test::DrillsRunAndKill;
using kelvra::test::SupportReadFile;
using kelvra::test::SupportTempDir;

constexpr int kRounds = 60;

// About a megabyte of what the configuration program keeps in the file, so that a write
// takes long enough for kills to land inside it.
std::string Padding() {
    std::string s;
    for (int i = 0; i < 20000; ++i) s += "; note " + std::to_string(i) + " kept by the configuration program\n";
    return s;
}

std::string ConfigWith(const std::string& padding, const std::string& last) {
    return padding + "[DaZirAdur]\nState=1\nLast=" + last + "\nOwn=kept\n";
}

// "YYYY-MM-DD hh:mm:ss", a tab and x's, or the first bytes of such a line.
bool IsLineOrItsStart(const std::string& line) {
    static const std::string stamp = "0000-00-00 00:00:00\t";
    for (size_t i = 0; i < line.size(); ++i) {
        const char want = i < stamp.size() ? stamp[i] : 'x';
        if (want == '0' ? (line[i] < '0' || line[i] > '9') : line[i] != want) return false;
    }
    return !line.empty();
}

std::chrono::microseconds RandomMoment(std::mt19937& rng, int maxMicros) {
    return std::chrono::microseconds(std::uniform_int_distribution<int>(0, maxMicros)(rng));
}

TEST(KillMidWrite, ConfigIniIsTheOldOrTheNewFileAfterEveryKill) {
    SupportTempDir dir;
    const std::string path = dir.path() + "config.ini";
    const std::string padding = Padding();
    const char* const values[] = {"2024-03-05 09:07:03", "2031-12-31 23:59:59"};
    {
        std::FILE* f = std::fopen(path.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        const std::string first = ConfigWith(padding, values[0]);
        std::fwrite(first.data(), 1, first.size(), f);
        std::fclose(f);
    }
    // Kills spread over the first three writes of each child, whatever this machine's speed.
    const auto began = std::chrono::steady_clock::now();
    ASSERT_TRUE(kelvra::platform::WriteProfileString("DaZirAdur", "Last", values[0], path));
    const int writeMicros = int(std::chrono::duration_cast<std::chrono::microseconds>(
                                    std::chrono::steady_clock::now() - began).count());
    std::mt19937 rng(12345);
    int killedRunning = 0;
    for (int round = 0; round < kRounds; ++round) {
        int turn = 0;
        killedRunning += DrillsRunAndKill(
            [&] { kelvra::platform::WriteProfileString("DaZirAdur", "Last", values[turn++ % 2], path); },
            RandomMoment(rng, 3 * writeMicros + 1000));
        const std::string now = SupportReadFile(path);
        ASSERT_TRUE(now == ConfigWith(padding, values[0]) || now == ConfigWith(padding, values[1]))
            << "round " << round << ": config.ini is neither the old nor the new file (" << now.size() << " bytes)";
    }
    EXPECT_EQ(killedRunning, kRounds);
    // A kill between the temporary file's creation and its rename can leave that file behind;
    // nothing reads it, and config.ini is whole whatever is left.
    int left = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const std::string name = entry.path().filename().string();
        if (name == "config.ini") continue;
        EXPECT_EQ(name.rfind(".kelvra-", 0), 0u) << "an unexpected file " << name;
        ++left;
    }
    std::printf("%d kills over %d us each, %d temporary files left\n", kRounds, 3 * writeMicros + 1000, left);
}

TEST(KillMidWrite, TheLogHoldsOnlyWholeLinesAfterEveryKill) {
    SupportTempDir dir;
    const std::string logDir = dir.path() + "log/";
    std::mt19937 rng(54321);
    // Lines from one byte to a few kilobytes, so that some span a page of the file.
    const std::string text(3000, 'x');
    auto logBytes = [&] {
        size_t total = 0;
        if (!std::filesystem::is_directory(logDir)) return total;
        for (const auto& entry : std::filesystem::directory_iterator(logDir)) total += entry.file_size();
        return total;
    };
    // The window of the kill widens while children die before their first line (a slow start
    // of a child under a sanitizer), so that most rounds kill a child that is writing.
    int windowMicros = 20000;
    for (int round = 0; round < kRounds; ++round) {
        const size_t before = logBytes();
        size_t n = 0;
        const auto moment = RandomMoment(rng, windowMicros);
        DrillsRunAndKill(
            [&] {
                kelvra::DailyLogWriter([&] { return logDir; }, kelvra::platform::SystemClock())
                    .Write(text.substr(0, 1 + (n++ * 997) % text.size()));
            },
            moment);
        if (logBytes() == before && moment.count() > windowMicros / 2 && windowMicros < 2000000) windowMicros *= 2;
    }
    size_t lines = 0;
    for (const auto& entry : std::filesystem::directory_iterator(logDir)) {
        const std::string bytes = SupportReadFile(entry.path().string());
        if (bytes.empty()) continue;  // killed between the file's creation and its first line
        size_t begin = 0;
        while (begin < bytes.size()) {
            size_t end = bytes.find('\n', begin);
            if (end == std::string::npos) end = bytes.size();  // the last kill's line, cut short
            const std::string line = bytes.substr(begin, end - begin);
            // The line a kill cut short may stay as a start of a line; no line may carry the
            // remains of another.
            ASSERT_TRUE(IsLineOrItsStart(line)) << "two lines mixed: " << line.substr(0, 60);
            ++lines;
            begin = end + 1;
        }
    }
    EXPECT_GT(lines, 0u);
}

}  // namespace

#endif  // !_WIN32
