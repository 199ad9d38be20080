#include "platform/Clock.h"

#include <windows.h>

#include <time.h>

namespace kelvra::platform {
namespace {

// 100-ns intervals between 1601-01-01 and 1970-01-01.
constexpr int64_t kEpochDifference100ns = 116444736000000000LL;

class Win32Clock final : public IClock {
public:
    int64_t WallMicros() override {
        FILETIME ft{};
        GetSystemTimePreciseAsFileTime(&ft);
        ULARGE_INTEGER v;
        v.LowPart = ft.dwLowDateTime;
        v.HighPart = ft.dwHighDateTime;
        return (int64_t(v.QuadPart) - kEpochDifference100ns) / 10;
    }
    int64_t MonotonicMillis() override { return int64_t(GetTickCount64()); }
};

SYSTEMTIME ToWin32(const SystemTime& t) {
    SYSTEMTIME st{};
    st.wYear = t.wYear;
    st.wMonth = t.wMonth;
    st.wDayOfWeek = t.wDayOfWeek;
    st.wDay = t.wDay;
    st.wHour = t.wHour;
    st.wMinute = t.wMinute;
    st.wSecond = t.wSecond;
    st.wMilliseconds = t.wMilliseconds;
    return st;
}

// SetLocalTime converts with the daylight-saving setting of the moment it is called, not of
// the time being set; Microsoft's documented remedy is to call it a second time, once the
// clock already stands in the new period.
class Win32ClockSetter final : public IClockSetter {
public:
    bool SetLocalTime(const SystemTime& local) override {
        const SYSTEMTIME st = ToWin32(local);
        if (!::SetLocalTime(&st)) return false;
        ::SetLocalTime(&st);
        return true;
    }
};

}  // namespace

IClock& SystemClock() {
    static Win32Clock clock;
    return clock;
}

IClockSetter& SystemClockSetter() {
    static Win32ClockSetter setter;
    return setter;
}

bool ToLocalTime(int64_t unixSeconds, std::tm& out) {
    const __time64_t t = unixSeconds;
    return _localtime64_s(&out, &t) == 0;
}

int64_t FromLocalTime(std::tm& tm) {
    return int64_t(_mktime64(&tm));
}

}  // namespace kelvra::platform
