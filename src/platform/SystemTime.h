#pragma once
#include <cstdint>

namespace kelvra {

// A local date and time, field for field the Windows SYSTEMTIME record.
struct SystemTime {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;      // 1-12
    uint16_t wDayOfWeek = 0;  // 0 = Sunday
    uint16_t wDay = 0;        // 1-31
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;
};

}  // namespace kelvra
