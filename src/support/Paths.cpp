#include "support/Paths.h"

#include "platform/Cp936.h"
#include "platform/Files.h"

namespace kelvra {
namespace {

size_t FindLastSeparator(const std::string& text, char separator) {
    // Only a backslash can be the second byte of a two-byte character.
    if (separator == '\\') return FindLastCp936Char(text, separator);
    return text.rfind(separator);
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Trim(const std::string& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && IsBlank(text[begin])) ++begin;
    while (end > begin && IsBlank(text[end - 1])) --end;
    return text.substr(begin, end - begin);
}

}  // namespace

std::string ModuleDirOf(const std::string& executablePath, char separator) {
    if (!executablePath.empty() && executablePath.back() == separator) return executablePath;
    const size_t last = FindLastSeparator(executablePath, separator);
    if (last == std::string::npos) return std::string();
    return executablePath.substr(0, last + 1);
}

std::string ParentDirOf(const std::string& path, const std::string& moduleDir, char separator) {
    std::string work = Trim(path);
    if (work.empty()) work = moduleDir;
    if (!work.empty() && work.back() == separator) work.pop_back();
    const size_t last = FindLastSeparator(work, separator);
    if (last != std::string::npos) work.erase(last + 1);
    if (!work.empty() && work.back() != separator) work.push_back(separator);
    return work;
}

std::string GetModuleDir() {
    return ModuleDirOf(platform::ExecutablePath(), platform::PathSeparator());
}

std::string GetParentDir(const std::string& path) {
    return ParentDirOf(path, GetModuleDir(), platform::PathSeparator());
}

bool DirExists(const std::string& path) {
    return platform::IsDirectory(path);
}

}  // namespace kelvra
