#pragma once
#include <gtest/gtest.h>

#include <string>

namespace kelvra::test {

// Files for the private-profile and configuration-store tests, through the standard library
// so the same tests run on both systems.

// A new, empty directory under the system's temporary directory, ending in a separator.
std::string MakeIniTestDir();
void RemoveIniTestDir(const std::string& dir);

void WriteIniFile(const std::string& path, const std::string& bytes);
bool ReadIniFile(const std::string& path, std::string& bytes);
bool IniFileExists(const std::string& path);
void SetIniFileReadOnly(const std::string& path, bool readOnly);
// Whether the file opens for writing (it is not changed): false for a read-only file,
// unless the system lets this user write it anyway (root under Wine).
bool IniFileOpensForWriting(const std::string& path);
int CountIniDirEntries(const std::string& dir);

// A fresh directory per test, with `path_` its config.ini (not created).
class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = MakeIniTestDir();
        path_ = dir_ + "config.ini";
    }
    void TearDown() override { RemoveIniTestDir(dir_); }
    std::string Contents() {
        std::string bytes;
        ReadIniFile(path_, bytes);
        return bytes;
    }
    std::string dir_, path_;
};

}  // namespace kelvra::test
