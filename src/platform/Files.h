#pragma once
#include <cstddef>
#include <string>

namespace kelvra::platform {

// Paths are narrow texts: code page 936 on Windows, the file system's bytes on Linux.

char PathSeparator();              // '\\' on Windows, '/' on Linux
std::string ExecutablePath();      // full path of the running executable, "" when unknown
bool IsDirectory(const std::string& path);
bool CreateOneDirectory(const std::string& path);  // single level; false when it failed

// Appends `bytes` to the file with one write, creating it when missing; other openers
// are denied neither reading nor writing. False when nothing was written.
bool AppendToFile(const std::string& path, const std::string& bytes);

// Appends one line (`line` carries its line end) like AppendToFile, except that a file whose
// last byte is not a line feed first gets a line end: a line that a killed writer left torn
// then stays a line of its own instead of swallowing the start of this one.
bool AppendLineToFile(const std::string& path, const std::string& line);

// Reads at most `limit` bytes of the file; false when it cannot be opened.
bool ReadFileBytes(const std::string& path, std::string& out, size_t limit);

// Replaces the file's content as one step: a reader sees the old bytes or the new ones,
// never a mixture, and a crash leaves one of the two. Keeps an existing file's owner and mode.
bool ReplaceFileAtomically(const std::string& path, const std::string& bytes);

}  // namespace kelvra::platform
