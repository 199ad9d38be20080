#include "platform/EventLog.h"

#include <windows.h>

#include <mutex>

namespace kelvra::platform {
namespace {

class WindowsEventLog final : public IEventLog {
public:
    bool Register(const std::string& sourceName) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (source_ == nullptr) source_ = RegisterEventSourceA(nullptr, sourceName.c_str());
        return source_ != nullptr;
    }

    void Report(EventType type, uint32_t id, const std::vector<std::string>& strings) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (source_ == nullptr) return;
        LPCSTR pointers[3] = {nullptr, nullptr, nullptr};
        WORD count = 0;
        for (const std::string& s : strings) {
            if (count == 3) break;
            pointers[count++] = s.c_str();
        }
        ReportEventA(source_, WORD(type), 0, DWORD(id), nullptr, count, 0, pointers, nullptr);
    }

    void Deregister() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (source_ != nullptr) DeregisterEventSource(source_);
        source_ = nullptr;
    }

private:
    std::mutex mutex_;
    HANDLE source_ = nullptr;
};

}  // namespace

IEventLog& SystemEventLog() {
    static WindowsEventLog log;
    return log;
}

}  // namespace kelvra::platform
