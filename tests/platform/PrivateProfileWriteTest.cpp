// Writes our rules refuse because the platform's writer would damage the file, and the Linux
// file layer's handling of the file itself.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/IniTestFiles.h"
#include "platform/PrivateProfile.h"
#include "platform/portable/PrivateProfileModel.h"

namespace {

namespace profile = kelvra::platform::profile;
using kelvra::platform::GetProfileString;
using kelvra::platform::WriteProfileString;

const std::string kConfig = "[DaZirAdur]\r\nState=1\r\nLast=2024-03-05 09:07:03\r\n";

TEST(PrivateProfileRules, WritesThatWouldNotReadBackAreRefused) {
    struct Refusal {
        const char* why;
        std::string file, section, key, value;
    };
    const std::vector<Refusal> refusals = {
        {"line break in the value adds lines", kConfig, "DaZirAdur", "Last", "x\r\nState=0"},
        {"lone line feed in the value", kConfig, "DaZirAdur", "Last", "x\nState=0"},
        {"carriage return in the key", kConfig, "DaZirAdur", "La\rst", "1"},
        {"line break in the section", kConfig, "Da\nZir", "Last", "1"},
        {"equals sign in the key", kConfig, "DaZirAdur", "State=0", "1"},
        {"key that reads as a header", kConfig, "DaZirAdur", "[x]", "1"},
        {"zero byte in the file", std::string("[DaZirAdur]\r\nState=1\r\n\0\x01\x02", 25), "DaZirAdur", "Last", "1"},
        // The file would start with a byte order mark and read as another encoding.
        {"key like a UTF-16 mark first in an empty file", "", "", "\xFE\xFF", ""},
        {"key like a UTF-8 mark first in the top section", "[DaZirAdur]\r\nState=1\r\n", "",
         "\xEF\xBB\xBF\xA1", "1"},
    };
    for (const Refusal& r : refusals) {
        std::string out;
        EXPECT_EQ(profile::EditValue(r.file, r.section, r.key, r.value.c_str(), out), profile::EditResult::Refused)
            << r.why;
        EXPECT_TRUE(out.empty()) << r.why;
    }
}

TEST(PrivateProfileRules, DeletingTheFirstLineMayNotLeaveAByteOrderMarkInFront) {
    const std::string file = "k=1\r\n\xFF\xFE=2\r\n[DaZirAdur]\r\nState=1\r\n";
    std::string out;
    EXPECT_EQ(profile::EditValue(file, "", "k", nullptr, out), profile::EditResult::Refused);
    EXPECT_TRUE(out.empty());
    // Deleting a line further down is fine.
    ASSERT_EQ(profile::EditValue(file, "DaZirAdur", "State", nullptr, out), profile::EditResult::Changed);
    EXPECT_EQ(profile::ReadValue(out, "", "k", "d", 99), "1");
}

TEST(PrivateProfileRules, FilesBeyondTheSizeLimitAreNeitherReadNorWritten) {
    std::string huge = kConfig;
    huge.resize(profile::kMaxFileBytes + 1, ' ');
    std::string out;
    EXPECT_EQ(profile::ReadValue(huge, "DaZirAdur", "State", "d", 99), "d");
    EXPECT_EQ(profile::EditValue(huge, "DaZirAdur", "State", "0", out), profile::EditResult::Refused);
    huge.resize(profile::kMaxFileBytes);
    EXPECT_EQ(profile::ReadValue(huge, "DaZirAdur", "State", "d", 99), "1");
}

TEST(PrivateProfileRules, ChangingAValueKeepsEveryOtherByte) {
    const std::string file = "; set by hand\n[DaZirAdur]\n  State = 1   ; keep\n\nLog=0\r\n# end";
    std::string out;
    ASSERT_EQ(profile::EditValue(file, "DaZirAdur", "State", "0", out), profile::EditResult::Changed);
    EXPECT_EQ(out, "; set by hand\n[DaZirAdur]\n  State = 0\n\nLog=0\r\n# end");
    ASSERT_EQ(profile::EditValue(file, "DaZirAdur", "Fresh", "0", out), profile::EditResult::Changed);
    EXPECT_EQ(out, "; set by hand\n[DaZirAdur]\n  State = 1   ; keep\n\nLog=0\r\n# end\nFresh=0\n");
}

#ifndef _WIN32

class PrivateProfileFileLayer : public kelvra::test::IniFileTest {};

TEST_F(PrivateProfileFileLayer, ReplacementKeepsTheModeAndLeavesNoTemporaryFile) {
    namespace fs = std::filesystem;
    kelvra::test::WriteIniFile(path_, kConfig);
    const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
    fs::permissions(path_, mode);
    ASSERT_TRUE(WriteProfileString("DaZirAdur", "Last", "2024-03-06 10:00:00", path_));
    EXPECT_EQ(fs::status(path_).permissions(), mode);
    EXPECT_EQ(Contents(), "[DaZirAdur]\r\nState=1\r\nLast=2024-03-06 10:00:00\r\n");
    EXPECT_EQ(kelvra::test::CountIniDirEntries(dir_), 1);
}

TEST_F(PrivateProfileFileLayer, ReadOnlyFileIsNotWrittenEvenByTheSuperUser) {
    kelvra::test::WriteIniFile(path_, kConfig);
    kelvra::test::SetIniFileReadOnly(path_, true);
    EXPECT_FALSE(WriteProfileString("DaZirAdur", "Last", "x", path_));
    EXPECT_EQ(Contents(), kConfig);
    EXPECT_EQ(GetProfileString("DaZirAdur", "State", "", 99, path_), "1");
}

TEST_F(PrivateProfileFileLayer, RefusedAndNeedlessWritesLeaveTheFileAlone) {
    kelvra::test::WriteIniFile(path_, kConfig);
    const auto before = std::filesystem::last_write_time(path_);
    EXPECT_FALSE(WriteProfileString("DaZirAdur", "Last", "x\r\nState=0", path_));
    EXPECT_TRUE(WriteProfileString("DaZirAdur", "State", "1", path_));
    EXPECT_TRUE(WriteProfileString("DaZirAdur", "Missing", nullptr, path_));
    EXPECT_EQ(Contents(), kConfig);
    EXPECT_EQ(std::filesystem::last_write_time(path_), before);
    EXPECT_EQ(kelvra::test::CountIniDirEntries(dir_), 1);
}

TEST_F(PrivateProfileFileLayer, MissingDirectoryOrDirectoryInPlaceOfTheFileFails) {
    EXPECT_FALSE(WriteProfileString("DaZirAdur", "Last", "x", dir_ + "no-such-dir/config.ini"));
    std::filesystem::create_directory(path_);
    EXPECT_FALSE(WriteProfileString("DaZirAdur", "Last", "x", path_));
    EXPECT_EQ(GetProfileString("DaZirAdur", "Last", "d", 99, path_), "d");
}

TEST_F(PrivateProfileFileLayer, HugeFileIsReadAndWrittenInBoundedTime) {
    std::string big;
    big.reserve(32u << 20);
    while (big.size() < (30u << 20)) big += "filler_key_with_a_long_name=some value\r\n; a comment without equals sign\r\n";
    big += kConfig;
    kelvra::test::WriteIniFile(path_, big);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(GetProfileString("DaZirAdur", "State", "", 65535, path_), "1");
    ASSERT_TRUE(WriteProfileString("DaZirAdur", "State", "0", path_));
    const auto elapsed = std::chrono::steady_clock::now() - start;
    EXPECT_LT(elapsed, std::chrono::seconds(20));
    const std::string after = Contents();
    ASSERT_EQ(after.size(), big.size());
    EXPECT_EQ(after.compare(0, big.size() - kConfig.size(), big, 0, big.size() - kConfig.size()), 0);
    EXPECT_EQ(GetProfileString("DaZirAdur", "State", "", 65535, path_), "0");
}

#endif

}  // namespace
