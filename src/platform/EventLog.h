#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace kelvra::platform {

enum class EventType : uint16_t { Error = 1, Information = 4 };

// The event log of the service (Windows Application log; Linux syslog / the journal).
class IEventLog {
public:
    virtual ~IEventLog() = default;
    virtual bool Register(const std::string& sourceName) = 0;  // false when no source
    virtual void Report(EventType type, uint32_t id, const std::vector<std::string>& strings) = 0;
    virtual void Deregister() = 0;
};

IEventLog& SystemEventLog();

}  // namespace kelvra::platform
