#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace kelvra::bench {

// A UDP relay on `address`:`port` that forwards each datagram to 127.0.0.1:`upstreamPort`
// after the outbound delay and each answer back to the last client after the return delay.
// With upstream port 0 it reads and drops everything (a silent server).
class DelayRelay {
public:
    DelayRelay() = default;
    ~DelayRelay();
    DelayRelay(const DelayRelay&) = delete;
    DelayRelay& operator=(const DelayRelay&) = delete;

    bool Start(const std::string& address, uint16_t port, uint16_t upstreamPort);
    void SetDelays(uint32_t outMicros, uint32_t backMicros) {
        outMicros_ = outMicros;
        backMicros_ = backMicros;
    }
    const std::string& Error() const { return error_; }

private:
    void Run();

    int listen_ = -1;
    int upstream_ = -1;
    std::atomic<uint32_t> outMicros_{0};
    std::atomic<uint32_t> backMicros_{0};
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::string error_;
};

}  // namespace kelvra::bench
