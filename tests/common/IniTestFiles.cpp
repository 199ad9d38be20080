#include "common/IniTestFiles.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace kelvra::test {

std::string MakeIniTestDir() {
    static std::atomic<unsigned> counter{0};
    std::random_device random;
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (;;) {
        const fs::path dir = fs::temp_directory_path() /
                             ("kelvra-ini-" + std::to_string(random()) + "-" + std::to_string(stamp) + "-" +
                              std::to_string(counter++));
        std::error_code error;
        if (fs::create_directory(dir, error)) {
            std::string text = dir.string();
            text += char(fs::path::preferred_separator);
            return text;
        }
    }
}

void RemoveIniTestDir(const std::string& dir) {
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        fs::permissions(entry.path(), fs::perms::owner_all, fs::perm_options::add, error);
    }
    fs::remove_all(dir, error);
}

void WriteIniFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

bool ReadIniFile(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

bool IniFileExists(const std::string& path) {
    std::error_code error;
    return fs::exists(path, error);
}

void SetIniFileReadOnly(const std::string& path, bool readOnly) {
    const fs::perms write = fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write;
    fs::permissions(path, write, readOnly ? fs::perm_options::remove : fs::perm_options::add);
}

bool IniFileOpensForWriting(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::app);
    return bool(out);
}

int CountIniDirEntries(const std::string& dir) {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir)) {
        (void)entry;
        ++n;
    }
    return n;
}

}  // namespace kelvra::test
