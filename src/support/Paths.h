#pragma once
#include <string>

namespace kelvra {

// Directories are texts that end in one separator when not empty: '\\' on Windows, '/' on Linux.

std::string GetModuleDir();                     // the executable's directory
std::string GetParentDir(const std::string& path);  // one level up; "" stands for GetModuleDir()
bool DirExists(const std::string& path);

// The same rules as pure text functions, for any separator. With '\\' the search for the last
// separator steps over the two-byte characters of code page 936.
std::string ModuleDirOf(const std::string& executablePath, char separator);
std::string ParentDirOf(const std::string& path, const std::string& moduleDir, char separator);

}  // namespace kelvra
