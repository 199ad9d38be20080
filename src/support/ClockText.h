#pragma once
#include <cstdint>
#include <string>

#include "platform/Clock.h"

namespace kelvra {

// One reading of the local clock, at one-second resolution. A reading that cannot be converted to
// local time (a clock before 1970, say) holds 0 for the date fields and -1 for the time fields.
struct LocalStamp {
    int year = 0;
    int month = 0;  // 1-12
    int day = 0;    // 1-31
    int hour = -1;
    int minute = -1;
    int second = -1;
};

LocalStamp StampOfSeconds(int64_t unixSeconds);     // local time of seconds since 1970
LocalStamp ReadLocalClock(platform::IClock& clock);  // reads `clock` once

// YYYY-MM-DD, HH:MM:SS and "date time" of one reading.
std::string FormatDateOf(const LocalStamp& stamp);
std::string FormatTimeOf(const LocalStamp& stamp);
std::string FormatNowOf(const LocalStamp& stamp);

// The same of the system clock, each reading it once: FormatNow's date and time always belong to
// the same instant, also across midnight.
std::string FormatDate();
std::string FormatTime();
std::string FormatNow();

}  // namespace kelvra
