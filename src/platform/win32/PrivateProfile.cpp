#include <windows.h>

// <windows.h> maps these names to the system's win.ini functions; ours are different.
#undef GetProfileString
#undef WriteProfileString

#include <vector>

#include "platform/PrivateProfile.h"

namespace kelvra::platform {

std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, size_t bufferSize,
                             const std::string& path) {
    // Zero-filled, so a character cut at the end of the buffer leaves no stray byte.
    std::vector<char> buffer(bufferSize + 1, '\0');
    GetPrivateProfileStringA(section.c_str(), key.c_str(), defaultValue.c_str(), buffer.data(),
                             DWORD(bufferSize), path.c_str());
    return std::string(buffer.data());
}

bool WriteProfileString(const std::string& section, const std::string& key, const char* value,
                        const std::string& path) {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value, path.c_str()) != FALSE;
}

}  // namespace kelvra::platform
