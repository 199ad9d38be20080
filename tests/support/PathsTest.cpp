#include <gtest/gtest.h>

#include "common/SupportTempDir.h"
#include "platform/Files.h"
#include "support/Paths.h"

namespace {

using kelvra::ModuleDirOf;
using kelvra::ParentDirOf;

struct ParentCase {
    const char* path;
    const char* moduleDir;
    const char* expected;
};

// '\\' rules: the worked results, white space, forward slashes, and code page 936 characters
// whose second byte is 0x5C ("\x95\x5C"), which must never count as a separator.
const ParentCase kBackslashCases[] = {
    {"", "C:\\Svc\\Bin\\", "C:\\Svc\\"},
    {"   ", "C:\\Svc\\Bin\\", "C:\\Svc\\"},
    {"", "C:\\", "C:\\"},
    {"C:\\A\\B\\", "C:\\X\\", "C:\\A\\"},
    {"C:\\A\\B", "C:\\X\\", "C:\\A\\"},
    {"C:\\A\\B\\x.txt", "C:\\X\\", "C:\\A\\B\\"},
    {"C:\\", "C:\\X\\", "C:\\"},
    {"abc", "C:\\X\\", "abc\\"},
    {"\\", "C:\\X\\", ""},
    {"  C:\\A\\B  ", "C:\\X\\", "C:\\A\\"},
    {"\tC:\\A\\B\\\r\n", "C:\\X\\", "C:\\A\\"},
    {"C:/A/B", "C:\\X\\", "C:/A/B\\"},
    {"", "", ""},
    {"C:\\A\\\x95\x5C", "", "C:\\A\\"},
    {"C:\\A\\\x95\x5C\\", "", "C:\\A\\"},
    {"C:\\\x95\x5C\\B", "", "C:\\\x95\x5C\\"},
    {"C:\\\x95\x5Cx.txt", "", "C:\\"},
    {"\x95\x5C", "", "\x95\x5C\\"},
    {"", "D:\\\xB7\xFE\x95\x5C\\Bin\\", "D:\\\xB7\xFE\x95\x5C\\"},
};

TEST(Paths, ParentDirWithBackslashFollowsTheWorkedResults) {
    for (const auto& c : kBackslashCases) {
        EXPECT_EQ(ParentDirOf(c.path, c.moduleDir, '\\'), c.expected) << "path [" << c.path << "]";
    }
}

// '/' rules of the Linux build: the backslash is an ordinary byte; the root is its own parent.
const ParentCase kSlashCases[] = {
    {"/opt/kelvra/bin/", "", "/opt/kelvra/"},
    {"/opt/kelvra/bin", "", "/opt/kelvra/"},
    {"/opt/x.txt", "", "/opt/"},
    {"/opt", "", "/"},
    {"/", "", "/"},
    {"abc", "", "abc/"},
    {"a/b/", "", "a/"},
    {"a\\b", "", "a\\b/"},
    {"  /a/b  ", "", "/a/"},
    {"", "/opt/kelvra/bin/", "/opt/kelvra/"},
    {" ", "/", "/"},
    {"", "", ""},
    {"/srv/\x95\x5C/x", "", "/srv/\x95\x5C/"},
};

TEST(Paths, ParentDirWithSlashFollowsThePosixRules) {
    for (const auto& c : kSlashCases) {
        EXPECT_EQ(ParentDirOf(c.path, c.moduleDir, '/'), c.expected) << "path [" << c.path << "]";
    }
}

TEST(Paths, ModuleDirKeepsEverythingUpToTheLastSeparator) {
    struct Case {
        const char* exe;
        char separator;
        const char* expected;
    };
    const Case cases[] = {
        {"C:\\Svc\\Bin\\svc.exe", '\\', "C:\\Svc\\Bin\\"},
        {"C:\\svc.exe", '\\', "C:\\"},
        {"C:\\Svc\\", '\\', "C:\\Svc\\"},
        {"svc.exe", '\\', ""},
        {"", '\\', ""},
        {"C:\\\x95\x5C.exe", '\\', "C:\\"},
        {"C:\\\x95\x5C\\a.exe", '\\', "C:\\\x95\x5C\\"},
        {"/opt/kelvra/bin/kelvra-timesync", '/', "/opt/kelvra/bin/"},
        {"/kelvra-timesync", '/', "/"},
        {"/opt/a\\b", '/', "/opt/"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ModuleDirOf(c.exe, c.separator), c.expected) << "exe [" << c.exe << "]";
    }
}

TEST(Paths, ModuleDirIsTheDirectoryOfThisExecutable) {
    const std::string dir = kelvra::GetModuleDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), kelvra::platform::PathSeparator());
    EXPECT_TRUE(kelvra::DirExists(dir));
    EXPECT_EQ(kelvra::platform::ExecutablePath().rfind(dir, 0), 0u);
    EXPECT_EQ(kelvra::GetParentDir(""), ParentDirOf(dir, "", kelvra::platform::PathSeparator()));
}

TEST(Paths, DirExistsOnlyForDirectories) {
    kelvra::test::SupportTempDir tmp;
    const std::string file = tmp.path() + "plain.txt";
    ASSERT_TRUE(kelvra::platform::AppendToFile(file, "x"));
    EXPECT_TRUE(kelvra::DirExists(tmp.path()));  // with its trailing separator
    EXPECT_TRUE(kelvra::DirExists(tmp.path().substr(0, tmp.path().size() - 1)));
    EXPECT_FALSE(kelvra::DirExists(file));
    EXPECT_FALSE(kelvra::DirExists(tmp.path() + "missing"));
}

}  // namespace
