#pragma once
#include <string>

#include "schedule/ConfigStore.h"

namespace kelvra {

// Single keys of config.ini beside the executable, through the private-profile functions.
// Nothing is cached: every read sees what the file holds at that moment.
class CIniReader : public IConfigStore {
public:
    CIniReader();                                // GetModuleDir() + "config.ini"
    explicit CIniReader(std::string path);
    ~CIniReader() override = default;

    // The key's value; "" when the key, the section or the file is missing, or when either
    // argument is empty (the file is then not touched).
    std::string ReadValue(const std::string& key, const std::string& section) override;
    // Always true: a write that fails (read-only file, no right to write) is lost silently.
    bool WriteValue(const std::string& value, const std::string& key, const std::string& section) override;

    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

}  // namespace kelvra
