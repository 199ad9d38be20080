#pragma once
#include <atomic>
#include <cstdint>

#include "service/CNTService.h"

namespace kelvra {

// The DaZirAdur service: a body that counts while the worker synchronises, with its start
// value and increment from the "Parameters" key and the counter saved on request 128.
class CMyService : public CNTService {
public:
    explicit CMyService(const ServiceDeps& deps);

    void Run() override;
    bool PrepareStart() override;
    bool HandleUserControl(uint32_t code) override;

    void SaveRunCounter();
    uint32_t RunCounter() const { return runCounter_.load(); }

private:
    uint32_t startValue_ = 0;
    uint32_t increment_ = 1;
    std::atomic<uint32_t> runCounter_{0};
};

}  // namespace kelvra
