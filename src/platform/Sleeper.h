#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace kelvra::platform {

// Sleeps that a stop request ends at once. Sleep() returns false when it was cut short
// by a stop (or a stop was already requested), true when the full time passed.
class ISleeper {
public:
    virtual ~ISleeper() = default;
    virtual bool Sleep(uint32_t milliseconds) = 0;
    virtual bool StopRequested() const = 0;
};

// The real sleeper: waits on a condition variable that RequestStop() wakes.
class StoppableSleeper final : public ISleeper {
public:
    bool Sleep(uint32_t milliseconds) override;
    bool StopRequested() const override;
    void RequestStop();

private:
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
};

}  // namespace kelvra::platform
