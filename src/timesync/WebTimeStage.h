#pragma once
#include <string>

namespace kelvra {

// The last stage of a cycle, run when no server led to a set clock: it replaces the cycle's
// result text with its own, or leaves it as it is when its own clock setting failed.
class IWebTimeStage {
public:
    virtual ~IWebTimeStage() = default;
    virtual void Run(std::string& resultText) = 0;
};

}  // namespace kelvra
