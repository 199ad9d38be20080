#include <gtest/gtest.h>

#include <random>
#include <string>

#include "common/IniTestFiles.h"
#include "schedule/CIniReader.h"
#include "support/Paths.h"

namespace {

using kelvra::CIniReader;

class CIniReaderTest : public kelvra::test::IniFileTest {};

TEST_F(CIniReaderTest, DefaultStoreIsConfigIniBesideTheExecutable) {
    EXPECT_EQ(CIniReader().Path(), kelvra::GetModuleDir() + "config.ini");
}

TEST_F(CIniReaderTest, ReadsTheKeysOfTheSectionAsTheRulesTrimAndUnquote) {
    kelvra::test::WriteIniFile(path_, "[DaZirAdur]\r\n  State = \"0\" \r\nintervalmin=15\r\nLog=\r\nFresh\r\n");
    CIniReader store(path_);
    EXPECT_EQ(store.ReadValue("State", "DaZirAdur"), "0");
    EXPECT_EQ(store.ReadValue("IntervalMin", "daziradur"), "15");
    EXPECT_EQ(store.ReadValue("Log", "DaZirAdur"), "");
    EXPECT_EQ(store.ReadValue("Fresh", "DaZirAdur"), "");
    EXPECT_EQ(store.ReadValue("Last", "DaZirAdur"), "");
    EXPECT_EQ(store.ReadValue("State", "Other"), "");
}

TEST_F(CIniReaderTest, EmptyKeyOrSectionGivesEmptyTextWithoutReadingTheFile) {
    // Through the file, section "" would reach "k" and key "" would reach "=v".
    kelvra::test::WriteIniFile(path_, "k=top\r\n[DaZirAdur]\r\n=v\r\n");
    CIniReader store(path_);
    EXPECT_EQ(store.ReadValue("k", ""), "");
    EXPECT_EQ(store.ReadValue("", "DaZirAdur"), "");
    EXPECT_EQ(Contents(), "k=top\r\n[DaZirAdur]\r\n=v\r\n");
}

TEST_F(CIniReaderTest, MissingFileReadsEmptyAndFirstWriteCreatesSectionAndKey) {
    CIniReader store(path_);
    EXPECT_EQ(store.ReadValue("Last", "DaZirAdur"), "");
    EXPECT_FALSE(kelvra::test::IniFileExists(path_));
    EXPECT_TRUE(store.WriteValue("2024-03-05 09:07:03", "Last", "DaZirAdur"));
    EXPECT_EQ(Contents(), "[DaZirAdur]\r\nLast=2024-03-05 09:07:03\r\n");
    EXPECT_TRUE(store.WriteValue("0", "Fresh", "DaZirAdur"));
    EXPECT_EQ(store.ReadValue("Fresh", "DaZirAdur"), "0");
    EXPECT_EQ(store.ReadValue("Last", "DaZirAdur"), "2024-03-05 09:07:03");
}

TEST_F(CIniReaderTest, EmptyFileBehavesLikeAMissingOne) {
    kelvra::test::WriteIniFile(path_, "");
    CIniReader store(path_);
    EXPECT_EQ(store.ReadValue("State", "DaZirAdur"), "");
    EXPECT_TRUE(store.WriteValue("0", "Fresh", "DaZirAdur"));
    EXPECT_EQ(Contents(), "[DaZirAdur]\r\nFresh=0\r\n");
}

TEST_F(CIniReaderTest, WriteToReadOnlyFileReportsTrueAndWritesNothing) {
    const std::string config = "[DaZirAdur]\r\nFresh=1\r\n";
    kelvra::test::WriteIniFile(path_, config);
    kelvra::test::SetIniFileReadOnly(path_, true);
    CIniReader store(path_);
    EXPECT_TRUE(store.WriteValue("0", "Fresh", "DaZirAdur"));
#ifdef _WIN32
    // The platform's writer honours the read-only attribute only where the system does.
    if (kelvra::test::IniFileOpensForWriting(path_)) GTEST_SKIP() << "read-only attribute not enforced here";
#endif
    EXPECT_EQ(Contents(), config);
    EXPECT_EQ(store.ReadValue("Fresh", "DaZirAdur"), "1");
}

TEST_F(CIniReaderTest, WriteIntoMissingDirectoryReportsTrue) {
    CIniReader store(dir_ + "missing" + path_.substr(dir_.size() - 1));
    EXPECT_TRUE(store.WriteValue("0", "Fresh", "DaZirAdur"));
    EXPECT_EQ(store.ReadValue("Fresh", "DaZirAdur"), "");
}

TEST_F(CIniReaderTest, LongValueComesBackCutToTheBuffer) {
    kelvra::test::WriteIniFile(path_, "[DaZirAdur]\r\nLast=" + std::string(70000, 'a') + "\r\n");
    EXPECT_EQ(CIniReader(path_).ReadValue("Last", "DaZirAdur"), std::string(65534, 'a'));
}

TEST_F(CIniReaderTest, BinaryFileReadsEmptyAndDoesNotCrash) {
    std::mt19937 random(12345);
    std::string binary(1 << 20, '\0');
    for (char& c : binary) c = char(random());
    kelvra::test::WriteIniFile(path_, binary);
    CIniReader store(path_);
    EXPECT_EQ(store.ReadValue("State", "DaZirAdur"), "");
    EXPECT_TRUE(store.WriteValue("2024-03-05 09:07:03", "Last", "DaZirAdur"));
#ifndef _WIN32
    // Our writer leaves a file that is no text file as it is.
    EXPECT_EQ(Contents(), binary);
#endif
}

TEST_F(CIniReaderTest, HugeFileIsReadAndKeepsWhatTheConfigurationProgramWrote) {
    std::string big = "[DaZirAdur]\r\nState=1\r\nIntervalMin=10\r\n";
    while (big.size() < (24u << 20)) big += "; padding line written by hand, kept as it is\r\n";
    kelvra::test::WriteIniFile(path_, big);
    CIniReader store(path_);
    EXPECT_EQ(store.ReadValue("IntervalMin", "DaZirAdur"), "10");
    EXPECT_TRUE(store.WriteValue("2024-03-05 09:07:03", "Last", "DaZirAdur"));
    EXPECT_EQ(store.ReadValue("Last", "DaZirAdur"), "2024-03-05 09:07:03");
    EXPECT_EQ(store.ReadValue("State", "DaZirAdur"), "1");
    EXPECT_EQ(store.ReadValue("IntervalMin", "DaZirAdur"), "10");
}

}  // namespace
