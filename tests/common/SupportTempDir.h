#pragma once
#include <string>

namespace kelvra::test {

// A fresh directory under the system's temporary directory, removed with everything in it when
// the object goes. path() is a narrow text ending in the platform's separator.
class SupportTempDir {
public:
    SupportTempDir();
    ~SupportTempDir();
    SupportTempDir(const SupportTempDir&) = delete;
    SupportTempDir& operator=(const SupportTempDir&) = delete;

    const std::string& path() const { return path_; }

private:
    std::string path_;
};

// The whole content of a file, "" when it cannot be read.
std::string SupportReadFile(const std::string& path);

}  // namespace kelvra::test
