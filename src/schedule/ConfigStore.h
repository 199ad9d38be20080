#pragma once
#include <string>

namespace kelvra {

// Single keys of config.ini. Reads give the empty text for anything that cannot be read.
class IConfigStore {
public:
    virtual ~IConfigStore() = default;
    virtual std::string ReadValue(const std::string& key, const std::string& section) = 0;
    virtual bool WriteValue(const std::string& value, const std::string& key, const std::string& section) = 0;
};

}  // namespace kelvra
