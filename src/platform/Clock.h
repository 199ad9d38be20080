#pragma once
#include <cstdint>
#include <ctime>

#include "platform/SystemTime.h"

namespace kelvra::platform {

// Readings of the machine's clocks. The wall clock is the one this system sets;
// spans that must not jump with it are measured on the monotonic clock.
class IClock {
public:
    virtual ~IClock() = default;
    virtual int64_t WallMicros() = 0;       // microseconds since 1970-01-01 00:00:00 UTC
    virtual int64_t MonotonicMillis() = 0;  // arbitrary origin, never goes back
};

// Sets the machine's local clock; true only when the clock was set.
class IClockSetter {
public:
    virtual ~IClockSetter() = default;
    virtual bool SetLocalTime(const SystemTime& local) = 0;
};

IClock& SystemClock();
IClockSetter& SystemClockSetter();

// Local broken-down time of seconds since 1970 (localtime); false when it cannot be converted.
bool ToLocalTime(int64_t unixSeconds, std::tm& out);
// Seconds since 1970 of a local broken-down time (mktime; normalises `tm`); -1 when outside the range.
int64_t FromLocalTime(std::tm& tm);

}  // namespace kelvra::platform
