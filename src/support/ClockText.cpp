#include "support/ClockText.h"

#include <ctime>

namespace kelvra {
namespace {

// Fields of 9 or less get one leading "0"; the year is plain decimal. A failed reading's -1
// therefore becomes "0-1", as the log has always shown it.
std::string TwoDigits(int value) {
    const std::string digits = std::to_string(value);
    return value <= 9 ? "0" + digits : digits;
}

int64_t FloorSeconds(int64_t micros) {
    int64_t seconds = micros / 1000000;
    if (micros % 1000000 < 0) --seconds;
    return seconds;
}

}  // namespace

LocalStamp StampOfSeconds(int64_t unixSeconds) {
    std::tm tm{};
    LocalStamp stamp;
    if (!platform::ToLocalTime(unixSeconds, tm)) return stamp;
    stamp.year = tm.tm_year + 1900;
    stamp.month = tm.tm_mon + 1;
    stamp.day = tm.tm_mday;
    stamp.hour = tm.tm_hour;
    stamp.minute = tm.tm_min;
    stamp.second = tm.tm_sec;
    return stamp;
}

LocalStamp ReadLocalClock(platform::IClock& clock) {
    return StampOfSeconds(FloorSeconds(clock.WallMicros()));
}

std::string FormatDateOf(const LocalStamp& stamp) {
    return std::to_string(stamp.year) + "-" + TwoDigits(stamp.month) + "-" + TwoDigits(stamp.day);
}

std::string FormatTimeOf(const LocalStamp& stamp) {
    return TwoDigits(stamp.hour) + ":" + TwoDigits(stamp.minute) + ":" + TwoDigits(stamp.second);
}

std::string FormatNowOf(const LocalStamp& stamp) {
    return FormatDateOf(stamp) + " " + FormatTimeOf(stamp);
}

std::string FormatDate() { return FormatDateOf(ReadLocalClock(platform::SystemClock())); }
std::string FormatTime() { return FormatTimeOf(ReadLocalClock(platform::SystemClock())); }
std::string FormatNow() { return FormatNowOf(ReadLocalClock(platform::SystemClock())); }

}  // namespace kelvra
