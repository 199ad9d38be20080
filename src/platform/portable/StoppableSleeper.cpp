#include <chrono>

#include "platform/Sleeper.h"

namespace kelvra::platform {

bool StoppableSleeper::Sleep(uint32_t milliseconds) {
    std::unique_lock<std::mutex> lock(mutex_);
    return !wake_.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return stop_; });
}

bool StoppableSleeper::StopRequested() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return stop_;
}

void StoppableSleeper::RequestStop() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
}

}  // namespace kelvra::platform
