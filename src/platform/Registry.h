#pragma once
#include <cstdint>
#include <string>

namespace kelvra::platform {

// Values under HKEY_LOCAL_MACHINE (Windows) or the daemon's own file-backed store (Linux).
// Key paths are written with backslashes as on Windows.
class IRegistry {
public:
    virtual ~IRegistry() = default;
    // True only when the key exists and the value is a 4-byte REG_DWORD (Linux: a valid
    // 32-bit number); `value` is changed only then.
    virtual bool ReadDword(const std::string& keyPath, const std::string& name, uint32_t& value) = 0;
    // Creates the key when missing. False when the key could not be created or opened.
    virtual bool WriteDword(const std::string& keyPath, const std::string& name, uint32_t value) = 0;
    virtual bool WriteString(const std::string& keyPath, const std::string& name,
                             const std::string& value, bool expandable) = 0;
};

IRegistry& SystemRegistry();

}  // namespace kelvra::platform
