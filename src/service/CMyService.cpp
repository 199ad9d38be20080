#include "service/CMyService.h"

#include <string>

#include "support/Texts.h"

namespace kelvra {
namespace {

std::string ServiceKey(const char* name, const char* subKey) {
    return std::string("SYSTEM\\CurrentControlSet\\Services\\") + name + "\\" + subKey;
}

}  // namespace

CMyService::CMyService(const ServiceDeps& deps) : CNTService(texts::kServiceName, deps) {
    runCounter_.store(startValue_);
}

bool CMyService::PrepareStart() {
    // A value of another type or size keeps the default: ReadDword answers only for a
    // 4-byte REG_DWORD (a valid 32-bit number on Linux).
    const std::string key = ServiceKey(Name(), "Parameters");
    uint32_t value = 0;
    if (deps_.registry.ReadDword(key, "Start", value)) startValue_ = value;
    if (deps_.registry.ReadDword(key, "Inc", value)) increment_ = value;
    runCounter_.store(startValue_);
    return true;
}

void CMyService::Run() {
    while (IsRunning()) {
        deps_.sleeper.Sleep(1000);
        runCounter_.fetch_add(increment_);  // wraps modulo 2^32
    }
}

bool CMyService::HandleUserControl(uint32_t code) {
    if (code != platform::kControlUserFirst) return false;
    SaveRunCounter();
    return true;
}

void CMyService::SaveRunCounter() {
    deps_.registry.WriteDword(ServiceKey(Name(), "Status"), "Current", runCounter_.load());
}

}  // namespace kelvra
