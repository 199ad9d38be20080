#pragma once
#include <cstddef>
#include <string>

namespace kelvra::platform {

// The private-profile (INI file) functions: on Windows the platform's own
// (GetPrivateProfileStringA / WritePrivateProfileStringA), on Linux ours, with the same rules.

// The value of `key` in `section` of the file at `path`, as the platform fits it into a
// buffer of `bufferSize` bytes (at most bufferSize-1 bytes); `defaultValue` when absent.
std::string GetProfileString(const std::string& section, const std::string& key,
                             const std::string& defaultValue, size_t bufferSize,
                             const std::string& path);

// Sets `key` in `section` to `value`; a null value deletes the key. False when not written.
// On Linux the file is replaced as one step (or left alone when nothing changes), and a write
// that could damage it (a line break in a text, a file that is no text file or too large, a
// read-only file) is refused with false.
bool WriteProfileString(const std::string& section, const std::string& key, const char* value,
                        const std::string& path);

}  // namespace kelvra::platform
