#include "platform/Clock.h"

#include <time.h>

namespace kelvra::platform {
namespace {

class PosixClock final : public IClock {
public:
    int64_t WallMicros() override {
        timespec ts{};
        clock_gettime(CLOCK_REALTIME, &ts);
        return int64_t(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
    }
    int64_t MonotonicMillis() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
    }
};

// Sets CLOCK_REALTIME from the local broken-down time; needs CAP_SYS_TIME.
class PosixClockSetter final : public IClockSetter {
public:
    bool SetLocalTime(const SystemTime& local) override {
        std::tm tm{};
        tm.tm_year = local.wYear - 1900;
        tm.tm_mon = local.wMonth - 1;
        tm.tm_mday = local.wDay;
        tm.tm_hour = local.wHour;
        tm.tm_min = local.wMinute;
        tm.tm_sec = local.wSecond;
        tm.tm_isdst = -1;
        const time_t seconds = mktime(&tm);
        if (seconds == time_t(-1)) return false;
        timespec ts{};
        ts.tv_sec = seconds;
        ts.tv_nsec = long(local.wMilliseconds % 1000) * 1000000L;
        return clock_settime(CLOCK_REALTIME, &ts) == 0;
    }
};

}  // namespace

IClock& SystemClock() {
    static PosixClock clock;
    return clock;
}

IClockSetter& SystemClockSetter() {
    static PosixClockSetter setter;
    return setter;
}

bool ToLocalTime(int64_t unixSeconds, std::tm& out) {
    const time_t t = time_t(unixSeconds);
    return localtime_r(&t, &out) != nullptr;
}

int64_t FromLocalTime(std::tm& tm) {
    return int64_t(mktime(&tm));
}

}  // namespace kelvra::platform
