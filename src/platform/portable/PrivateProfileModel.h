#pragma once
#include <cstddef>
#include <string>

namespace kelvra::platform::profile {

// The private-profile (INI file) rules as pure text functions: the bytes of a file in, a value
// or the bytes of the new file out. The Linux build reads and writes config.ini through them;
// the Windows test build runs them beside the platform's own functions.
//
// Texts (section, key, value, default) are code page 936, up to their first zero byte. A file
// is code page 936, or UTF-8 / UTF-16 when it starts with the matching byte order mark.

// Files larger than this are left alone: reads give the default, writes are refused.
inline constexpr size_t kMaxFileBytes = 64u * 1024u * 1024u;

// The value of `key` in `section` as GetPrivateProfileString fits it into `bufferSize` bytes
// (at most bufferSize-1 bytes, never half a two-byte character); `defaultValue` when absent.
std::string ReadValue(const std::string& fileBytes, const std::string& section, const std::string& key,
                      const std::string& defaultValue, size_t bufferSize);

enum class EditResult {
    Unchanged,  // nothing to do: the value is already stored, or the key to delete is absent
    Changed,    // `newBytes` holds the new file
    Refused,    // the write would damage the file or could not be read back; nothing to write
};

// Sets `key` in `section` to `value`, or deletes the key when `value` is null. Only the line
// concerned changes (or one line is added, or a section is appended); every other byte of the
// file stays as it was.
EditResult EditValue(const std::string& fileBytes, const std::string& section, const std::string& key,
                     const char* value, std::string& newBytes);

}  // namespace kelvra::platform::profile
