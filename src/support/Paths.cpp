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

// A text ends in a separator only when its last character is one: with '\\' the 0x5C second
// byte of a two-byte character does not count.
bool EndsWithSeparator(const std::string& text, char separator) {
    if (text.empty() || text.back() != separator) return false;
    return FindLastSeparator(text, separator) == text.size() - 1;
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
    if (EndsWithSeparator(executablePath, separator)) return executablePath;
    const size_t last = FindLastSeparator(executablePath, separator);
    if (last == std::string::npos) return std::string();
    return executablePath.substr(0, last + 1);
}

std::string ParentDirOf(const std::string& path, const std::string& moduleDir, char separator) {
    std::string work = Trim(path);
    if (work.empty()) work = moduleDir;
    // A POSIX path that starts at the root stays there: the root is its own parent, as C:\ is.
    const bool fromRoot = separator == '/' && !work.empty() && work.front() == '/';
    if (EndsWithSeparator(work, separator)) work.pop_back();
    const size_t last = FindLastSeparator(work, separator);
    if (last != std::string::npos) work.erase(last + 1);
    if (!work.empty() && !EndsWithSeparator(work, separator)) work.push_back(separator);
    if (work.empty() && fromRoot) work = "/";
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
