#pragma once
#include <string>

namespace kelvra {

// One synchronisation cycle; returns its result text. Success exactly when the text is
// empty or begins with texts::kSuccessPrefix.
class ISyncCycle {
public:
    virtual ~ISyncCycle() = default;
    virtual std::string SyncTime() = 0;
};

}  // namespace kelvra
