#include "schedule/CIniReader.h"

#include <utility>

#include "platform/PrivateProfile.h"
#include "support/Paths.h"

namespace kelvra {
namespace {

constexpr size_t kValueBufferSize = 65535;

}  // namespace

CIniReader::CIniReader() : path_(GetModuleDir() + "config.ini") {}

CIniReader::CIniReader(std::string path) : path_(std::move(path)) {}

std::string CIniReader::ReadValue(const std::string& key, const std::string& section) {
    if (key.empty() || section.empty()) return std::string();
    return platform::GetProfileString(section, key, std::string(), kValueBufferSize, path_);
}

bool CIniReader::WriteValue(const std::string& value, const std::string& key, const std::string& section) {
    platform::WriteProfileString(section, key, value.c_str(), path_);
    return true;
}

}  // namespace kelvra
