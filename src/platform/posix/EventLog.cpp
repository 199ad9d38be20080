#include "platform/EventLog.h"

#include <syslog.h>

#include <mutex>

#include "platform/Encoding.h"

namespace kelvra::platform {
namespace {

// The system log under the source's name; the journal keeps it.
class SyslogEventLog final : public IEventLog {
public:
    bool Register(const std::string& sourceName) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) {
            ident_ = sourceName;  // openlog keeps the pointer
            ::openlog(ident_.c_str(), LOG_PID, LOG_DAEMON);
            open_ = true;
        }
        return true;
    }

    void Report(EventType type, uint32_t id, const std::vector<std::string>& strings) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!open_) return;
        std::string message = "event " + std::to_string(id);
        for (size_t i = 0; i < strings.size(); ++i) {
            message += i == 0 ? ": " : ", ";
            message += Cp936ToUtf8(strings[i]);
        }
        ::syslog(type == EventType::Error ? LOG_ERR : LOG_INFO, "%s", message.c_str());
    }

    void Deregister() override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (open_) ::closelog();
        open_ = false;
    }

private:
    std::mutex mutex_;
    std::string ident_;
    bool open_ = false;
};

}  // namespace

IEventLog& SystemEventLog() {
    static SyslogEventLog log;
    return log;
}

}  // namespace kelvra::platform
