#include "platform/Registry.h"

#include <cstdlib>
#include <mutex>
#include <vector>

#include "platform/Encoding.h"
#include "platform/Files.h"

// The Linux build keeps the service's values in a small text file of its own:
//
//   [SYSTEM\CurrentControlSet\Services\DaZirAdur\Parameters]
//   Start=100
//   Inc=5
//
// A section names a key path, a line "name=value" a value. A value that is a decimal number
// from 0 to 4294967295 is a 32-bit number (REG_DWORD); text values (written at installation)
// are stored as "name=sz:text" in UTF-8. Anything else reads as absent. Key paths and value names are
// compared without regard to ASCII letter case, as on Windows. Lines starting with '#' or ';'
// are comments and are kept. Every write replaces the whole file atomically.

namespace kelvra::platform {
namespace {

constexpr char kDefaultStorePath[] = "/var/lib/kelvra-timesync/registry";
constexpr size_t kStoreLimit = 1 << 20;

std::string StorePath() {
    const char* override = std::getenv("KELVRA_REGISTRY_FILE");
    return override != nullptr && *override != '\0' ? std::string(override) : std::string(kDefaultStorePath);
}

std::string Trim(const std::string& s) {
    const size_t begin = s.find_first_not_of(" \t\r");
    if (begin == std::string::npos) return std::string();
    const size_t end = s.find_last_not_of(" \t\r");
    return s.substr(begin, end - begin + 1);
}

bool SameName(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool ParseDword(const std::string& text, uint32_t& out) {
    if (text.empty() || text.size() > 10) return false;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + uint64_t(c - '0');
    }
    if (value > 0xFFFFFFFFull) return false;
    out = uint32_t(value);
    return true;
}

std::vector<std::string> SplitLines(const std::string& bytes) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos) end = bytes.size();
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

bool IsSection(const std::string& line, std::string& name) {
    const std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[' || t.back() != ']') return false;
    name = t.substr(1, t.size() - 2);
    return true;
}

bool IsValueLine(const std::string& line, std::string& name, std::string& data) {
    const std::string t = Trim(line);
    if (t.empty() || t[0] == '#' || t[0] == ';' || t[0] == '[') return false;
    const size_t eq = t.find('=');
    if (eq == std::string::npos) return false;
    name = Trim(t.substr(0, eq));
    data = Trim(t.substr(eq + 1));
    return true;
}

// Finds the value's line; `sectionEnd` is the line after the key's last line (npos: no key).
size_t FindValue(const std::vector<std::string>& lines, const std::string& keyPath,
                 const std::string& valueName, size_t& sectionEnd) {
    sectionEnd = std::string::npos;
    bool inKey = false;
    size_t found = std::string::npos;
    for (size_t i = 0; i < lines.size(); ++i) {
        std::string section, name, data;
        if (IsSection(lines[i], section)) {
            inKey = SameName(section, keyPath);
            if (inKey) sectionEnd = i + 1;
            continue;
        }
        if (!inKey) continue;
        if (IsValueLine(lines[i], name, data)) {
            sectionEnd = i + 1;
            if (SameName(name, valueName)) found = i;
        }
    }
    return found;
}

class FileRegistry final : public IRegistry {
public:
    bool ReadDword(const std::string& keyPath, const std::string& name, uint32_t& value) override {
        std::lock_guard<std::mutex> lock(mutex_);
        std::string bytes;
        if (!ReadFileBytes(StorePath(), bytes, kStoreLimit)) return false;
        const std::vector<std::string> lines = SplitLines(bytes);
        size_t sectionEnd = 0;
        const size_t at = FindValue(lines, keyPath, name, sectionEnd);
        if (at == std::string::npos) return false;
        std::string foundName, data;
        IsValueLine(lines[at], foundName, data);
        return ParseDword(data, value);
    }

    bool WriteDword(const std::string& keyPath, const std::string& name, uint32_t value) override {
        return Write(keyPath, name, std::to_string(value));
    }

    bool WriteString(const std::string& keyPath, const std::string& name, const std::string& value,
                     bool) override {
        if (value.find_first_of("\r\n") != std::string::npos) return false;  // one line per value
        return Write(keyPath, name, "sz:" + Cp936ToUtf8(value));  // a person reads this file
    }

private:
    bool Write(const std::string& keyPath, const std::string& name, const std::string& data) {
        if (keyPath.find_first_of("[]\r\n") != std::string::npos ||
            name.find_first_of("=[\r\n") != std::string::npos || Trim(name).empty()) {
            return false;
        }
        std::lock_guard<std::mutex> lock(mutex_);
        const std::string path = StorePath();
        std::string bytes;
        if (!ReadFileBytes(path, bytes, kStoreLimit)) {
            bytes.clear();
            const size_t slash = path.rfind('/');
            if (slash != std::string::npos && slash > 0 && !IsDirectory(path.substr(0, slash))) {
                CreateOneDirectory(path.substr(0, slash));
            }
        }
        std::vector<std::string> lines = SplitLines(bytes);
        size_t sectionEnd = 0;
        const size_t at = FindValue(lines, keyPath, name, sectionEnd);
        const std::string line = name + "=" + data;
        if (at != std::string::npos) {
            lines[at] = line;
        } else if (sectionEnd != std::string::npos) {
            lines.insert(lines.begin() + long(sectionEnd), line);
        } else {
            if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
            lines.push_back("[" + keyPath + "]");
            lines.push_back(line);
        }
        std::string out;
        for (const std::string& l : lines) out += l + "\n";
        return ReplaceFileAtomically(path, out);
    }

    std::mutex mutex_;
};

}  // namespace

IRegistry& SystemRegistry() {
    static FileRegistry registry;
    return registry;
}

}  // namespace kelvra::platform
