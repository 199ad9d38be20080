#include "platform/PrivateProfile.h"

#include <sys/stat.h>

#include "platform/Files.h"
#include "platform/portable/PrivateProfileModel.h"

namespace kelvra::platform {
namespace {

// One byte more than the model accepts, so that a file too large is seen as such.
bool ReadProfileFile(const std::string& path, std::string& bytes) {
    return ReadFileBytes(path, bytes, profile::kMaxFileBytes + 1);
}

}  // namespace

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, size_t bufferSize,
                             const std::string& path) {
    std::string bytes;
    if (!ReadProfileFile(path, bytes)) bytes.clear();
    return profile::ReadValue(bytes, section, key, defaultValue, bufferSize);
}

bool WriteProfileString(const std::string& section, const std::string& key, const char* value,
                        const std::string& path) {
    struct stat st{};
    const bool exists = ::stat(path.c_str(), &st) == 0;
    std::string bytes;
    if (exists) {
        if (!S_ISREG(st.st_mode)) return false;
        // Without any write bit the file is read-only, whoever we run as.
        if ((st.st_mode & 0222) == 0) return false;
        if (!ReadProfileFile(path, bytes)) return false;
    }
    std::string newBytes;
    switch (profile::EditValue(bytes, section, key, value, newBytes)) {
        case profile::EditResult::Unchanged: return true;
        case profile::EditResult::Refused: return false;
        case profile::EditResult::Changed: break;
    }
    return ReplaceFileAtomically(path, newBytes);
}

}  // namespace kelvra::platform
