#include "common/SupportTempDir.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "platform/Files.h"

namespace kelvra::test {

SupportTempDir::SupportTempDir() {
    static std::atomic<unsigned> counter{0};
    const auto base = std::filesystem::temp_directory_path();
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        const auto dir = base / ("kelvra-support-" + std::to_string(stamp) + "-" +
                                 std::to_string(counter.fetch_add(1)));
        std::error_code ec;
        if (std::filesystem::create_directory(dir, ec)) {
            path_ = dir.string() + platform::PathSeparator();
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

SupportTempDir::~SupportTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(std::filesystem::path(path_.substr(0, path_.size() - 1)), ec);
}

std::string SupportReadFile(const std::string& path) {
    std::string bytes;
    platform::ReadFileBytes(path, bytes, size_t(1) << 30);
    return bytes;
}

}  // namespace kelvra::test
