#include "platform/Registry.h"

#include <windows.h>

namespace kelvra::platform {
namespace {

class WindowsRegistry final : public IRegistry {
public:
    bool ReadDword(const std::string& keyPath, const std::string& name, uint32_t& value) override {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return false;
        }
        DWORD type = 0;
        DWORD data = 0;
        DWORD size = sizeof data;
        const LONG result = RegQueryValueExA(key, name.c_str(), nullptr, &type,
                                             reinterpret_cast<BYTE*>(&data), &size);
        RegCloseKey(key);
        // Only a 4-byte REG_DWORD counts; anything else leaves the caller's value.
        if (result != ERROR_SUCCESS || type != REG_DWORD || size != sizeof data) return false;
        value = data;
        return true;
    }

    bool WriteDword(const std::string& keyPath, const std::string& name, uint32_t value) override {
        HKEY key = nullptr;
        DWORD disposition = 0;
        const LONG opened = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, const_cast<LPSTR>(""),
                                            0, KEY_WRITE, nullptr, &key, &disposition);
        if (opened != ERROR_SUCCESS) {
            SetLastError(DWORD(opened));
            return false;
        }
        const DWORD data = value;
        RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), sizeof data);
        RegCloseKey(key);
        return true;
    }

    bool WriteString(const std::string& keyPath, const std::string& name, const std::string& value,
                     bool expandable) override {
        HKEY key = nullptr;
        const LONG opened = RegCreateKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str(), &key);
        if (opened != ERROR_SUCCESS) {
            SetLastError(DWORD(opened));  // so the console line names the reason
            return false;
        }
        RegSetValueExA(key, name.c_str(), 0, expandable ? REG_EXPAND_SZ : REG_SZ,
                       reinterpret_cast<const BYTE*>(value.c_str()), DWORD(value.size() + 1));
        RegCloseKey(key);
        return true;
    }
};

}  // namespace

IRegistry& SystemRegistry() {
    static WindowsRegistry registry;
    return registry;
}

}  // namespace kelvra::platform
