#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/SupportTempDir.h"
#include "common/TestTime.h"
#include "platform/Encoding.h"
#include "platform/Files.h"
#include "support/ClockText.h"
#include "support/DailyLog.h"
#include "support/Paths.h"
#include "support/Texts.h"

namespace {

using kelvra::DailyLogWriter;
using kelvra::test::SupportReadFile;
using kelvra::test::SupportTempDir;

#ifdef _WIN32
const std::string kLineEnd = "\r\n";
std::string AsStored(const std::string& cp936) { return cp936; }
#else
const std::string kLineEnd = "\n";
std::string AsStored(const std::string& cp936) { return kelvra::platform::Cp936ToUtf8(cp936); }
#endif

using kelvra::test::LocalSeconds;

// Gives `first` at the first reading and `later` at every one after it.
class SteppingClock final : public kelvra::platform::IClock {
public:
    SteppingClock(int64_t firstMicros, int64_t laterMicros) : first_(firstMicros), later_(laterMicros) {}
    int64_t WallMicros() override { return reads_++ == 0 ? first_ : later_; }
    int64_t MonotonicMillis() override { return 0; }

private:
    int64_t first_;
    int64_t later_;
    int reads_ = 0;
};

class FixedClock final : public kelvra::platform::IClock {
public:
    explicit FixedClock(int64_t seconds) : micros_(seconds * 1000000) {}
    int64_t WallMicros() override { return micros_; }
    int64_t MonotonicMillis() override { return 0; }

private:
    int64_t micros_;
};

class DailyLogTest : public ::testing::Test {
protected:
    std::string LogDir() const { return tmp.path() + "log" + kelvra::platform::PathSeparator(); }
    DailyLogWriter Writer(kelvra::platform::IClock& clock) const {
        const std::string dir = LogDir();
        return DailyLogWriter([dir] { return dir; }, clock);
    }
    SupportTempDir tmp;
    FixedClock morning{LocalSeconds(2024, 3, 5, 9, 7, 3)};
};

TEST_F(DailyLogTest, WritesStampTabTextAndLineEndIntoTheDaysFile) {
    auto writer = Writer(morning);
    ASSERT_TRUE(writer.Write(kelvra::texts::kMainServiceStarted));
    ASSERT_TRUE(writer.Write(std::string(kelvra::texts::kSyncFailed) + "x"));
    EXPECT_EQ(SupportReadFile(LogDir() + "2024-03-05.log"),
              "2024-03-05 09:07:03\t" + AsStored(kelvra::texts::kMainServiceStarted) + kLineEnd +
                  "2024-03-05 09:07:03\t" + AsStored(kelvra::texts::kSyncFailed) + "x" + kLineEnd);
}

TEST_F(DailyLogTest, LineBreaksAndEmptyTextsAreWrittenUnchanged) {
    auto writer = Writer(morning);
    ASSERT_TRUE(writer.Write("one\ntwo"));
    ASSERT_TRUE(writer.Write(""));
    EXPECT_EQ(SupportReadFile(LogDir() + "2024-03-05.log"),
              "2024-03-05 09:07:03\tone\ntwo" + kLineEnd + "2024-03-05 09:07:03\t" + kLineEnd);
}

TEST_F(DailyLogTest, FileAndStampComeFromOneReadingAtMidnight) {
    const int64_t lastSecond = LocalSeconds(2024, 3, 5, 23, 59, 59);
    SteppingClock clock(lastSecond * 1000000 + 999999, (lastSecond + 1) * 1000000);
    auto writer = Writer(clock);
    ASSERT_TRUE(writer.Write("late"));
    EXPECT_EQ(SupportReadFile(LogDir() + "2024-03-05.log"), "2024-03-05 23:59:59\tlate" + kLineEnd);
    EXPECT_FALSE(std::filesystem::exists(LogDir() + "2024-03-06.log"));
}

TEST_F(DailyLogTest, RecreatesARemovedDirectoryAndStartsANewFilePerDay) {
    auto writer = Writer(morning);
    ASSERT_TRUE(writer.Write("a"));
    std::filesystem::remove_all(LogDir());
    ASSERT_TRUE(writer.Write("b"));
    FixedClock nextDay(LocalSeconds(2024, 3, 6, 0, 0, 0));
    ASSERT_TRUE(Writer(nextDay).Write("c"));
    EXPECT_EQ(SupportReadFile(LogDir() + "2024-03-05.log"), "2024-03-05 09:07:03\tb" + kLineEnd);
    EXPECT_EQ(SupportReadFile(LogDir() + "2024-03-06.log"), "2024-03-06 00:00:00\tc" + kLineEnd);
}

TEST_F(DailyLogTest, AFileNamedLogLosesOnlyTheLinesWrittenWhileItStands) {
    const std::string asFile = LogDir().substr(0, LogDir().size() - 1);
    ASSERT_TRUE(kelvra::platform::AppendToFile(asFile, "not a directory"));
    auto writer = Writer(morning);
    EXPECT_FALSE(writer.Write("lost"));
    std::filesystem::remove(asFile);
    EXPECT_TRUE(writer.Write("kept"));
    EXPECT_EQ(SupportReadFile(LogDir() + "2024-03-05.log"), "2024-03-05 09:07:03\tkept" + kLineEnd);
}

TEST_F(DailyLogTest, AMissingParentLosesTheLineAndTheParentIsNeverCreated) {
    const std::string sep(1, kelvra::platform::PathSeparator());
    const std::string parent = tmp.path() + "svc";
    const std::string dir = parent + sep + "log" + sep;
    DailyLogWriter writer([dir] { return dir; }, morning);
    EXPECT_FALSE(writer.Write("lost"));
    EXPECT_FALSE(std::filesystem::exists(parent));
    ASSERT_TRUE(std::filesystem::create_directory(parent));
    EXPECT_TRUE(writer.Write("kept"));
    EXPECT_EQ(SupportReadFile(dir + "2024-03-05.log"), "2024-03-05 09:07:03\tkept" + kLineEnd);
}

TEST_F(DailyLogTest, DirectoryWithCodePage936NameIsCreatedAndWritten) {
    // 服务 and a character whose second byte is 0x5C.
    const std::string dir = tmp.path() + "\xB7\xFE\xCE\xF1\x95\x5C" + kelvra::platform::PathSeparator();
    DailyLogWriter writer([dir] { return dir; }, morning);
    ASSERT_TRUE(writer.Write(kelvra::texts::kSyncOk));
    EXPECT_EQ(SupportReadFile(dir + "2024-03-05.log"),
              "2024-03-05 09:07:03\t" + AsStored(kelvra::texts::kSyncOk) + kLineEnd);
}

TEST_F(DailyLogTest, LinesOfTwoThreadsNeverMixAndNoneIsLost) {
    constexpr int kLines = 400;
    const std::string pad(200, 'p');
    const int64_t seconds = LocalSeconds(2024, 3, 5, 9, 7, 3);
    auto writeMany = [&](char who) {
        FixedClock clock(seconds);
        auto writer = Writer(clock);
        for (int i = 0; i < kLines; ++i) writer.Write(std::string(1, who) + std::to_string(i) + pad);
    };
    std::thread a(writeMany, 'a');
    std::thread b(writeMany, 'b');
    a.join();
    b.join();

    std::set<std::string> expected;
    for (char who : {'a', 'b'}) {
        for (int i = 0; i < kLines; ++i) expected.insert(std::string(1, who) + std::to_string(i) + pad);
    }
    std::istringstream lines(SupportReadFile(LogDir() + "2024-03-05.log"));
    std::set<std::string> seen;
    std::string line;
    const std::string stamp = "2024-03-05 09:07:03\t";
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        ASSERT_EQ(line.rfind(stamp, 0), 0u) << line;
        const std::string text = line.substr(stamp.size());
        EXPECT_EQ(expected.count(text), 1u) << "mixed or foreign line: " << text;
        EXPECT_TRUE(seen.insert(text).second) << "twice: " << text;
    }
    EXPECT_EQ(seen, expected);
}

TEST(WriteLog, AppendsToTodaysFileInTheLogDirectoryBesideTheExecutablesDirectory) {
    const std::string dir = kelvra::LogDirectory();
    EXPECT_EQ(dir, kelvra::GetParentDir("") + "log" + kelvra::platform::PathSeparator());
    const std::string marker = "writelog-marker-" + std::to_string(kelvra::platform::SystemClock().WallMicros());
    const std::string before = kelvra::FormatDate();
    kelvra::WriteLog(marker);
    const std::string after = kelvra::FormatDate();
    const std::string content =
        SupportReadFile(dir + before + ".log") + (after != before ? SupportReadFile(dir + after + ".log") : "");
    EXPECT_NE(content.find("\t" + marker + kLineEnd), std::string::npos);
}

}  // namespace
