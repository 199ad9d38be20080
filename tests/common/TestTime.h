#pragma once
// Seconds since 1970 of local dates and times, as the system's own conversions read them.
#include <cstdint>
#include <ctime>

#include "platform/Clock.h"
#include "platform/SystemTime.h"

namespace kelvra::test {

inline int64_t LocalSeconds(int year, int month, int day, int hour, int minute, int second) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_sec = second;
    tm.tm_isdst = -1;
    return platform::FromLocalTime(tm);
}

inline int64_t LocalSecondsOf(const SystemTime& t) {
    return LocalSeconds(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
}

inline int64_t LocalMillisOf(const SystemTime& t) {
    return LocalSecondsOf(t) * 1000 + t.wMilliseconds;
}

}  // namespace kelvra::test
