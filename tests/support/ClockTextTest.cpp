#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "common/TestTime.h"
#include "platform/Clock.h"
#include "support/ClockText.h"

namespace {

using kelvra::LocalStamp;

TEST(ClockText, FormatsDateTimeAndNowWithLeadingZeros) {
    struct Case {
        LocalStamp stamp;
        const char* date;
        const char* time;
        const char* now;
    };
    const Case cases[] = {
        {{2024, 3, 5, 9, 7, 3}, "2024-03-05", "09:07:03", "2024-03-05 09:07:03"},
        {{2024, 12, 31, 23, 59, 59}, "2024-12-31", "23:59:59", "2024-12-31 23:59:59"},
        {{2025, 1, 1, 0, 0, 0}, "2025-01-01", "00:00:00", "2025-01-01 00:00:00"},
        {{2024, 10, 10, 10, 10, 10}, "2024-10-10", "10:10:10", "2024-10-10 10:10:10"},
        {LocalStamp{}, "0-00-00", "0-1:0-1:0-1", "0-00-00 0-1:0-1:0-1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kelvra::FormatDateOf(c.stamp), c.date);
        EXPECT_EQ(kelvra::FormatTimeOf(c.stamp), c.time);
        EXPECT_EQ(kelvra::FormatNowOf(c.stamp), c.now);
    }
}

using kelvra::test::LocalSeconds;

TEST(ClockText, ConvertsSecondsToLocalTime) {
    EXPECT_EQ(kelvra::FormatNowOf(kelvra::StampOfSeconds(LocalSeconds(2024, 3, 5, 9, 7, 3))),
              "2024-03-05 09:07:03");
    EXPECT_EQ(kelvra::FormatNowOf(kelvra::StampOfSeconds(LocalSeconds(2024, 12, 31, 23, 59, 59))),
              "2024-12-31 23:59:59");
    EXPECT_EQ(kelvra::FormatNowOf(kelvra::StampOfSeconds(LocalSeconds(2024, 3, 6, 0, 0, 0))),
              "2024-03-06 00:00:00");
}

TEST(ClockText, UnconvertibleClockGivesTheFailureText) {
    const LocalStamp stamp = kelvra::StampOfSeconds(std::numeric_limits<int64_t>::max());
    EXPECT_EQ(kelvra::FormatNowOf(stamp), "0-00-00 0-1:0-1:0-1");
}

// A clock that moves one second on at every reading.
class TickingClock final : public kelvra::platform::IClock {
public:
    explicit TickingClock(int64_t seconds) : micros_(seconds * 1000000) {}
    int64_t WallMicros() override {
        ++reads;
        const int64_t now = micros_;
        micros_ += 1000000;
        return now;
    }
    int64_t MonotonicMillis() override { return 0; }
    int reads = 0;

private:
    int64_t micros_;
};

TEST(ClockText, OneReadingGivesDateAndTimeOfTheSameInstantAcrossMidnight) {
    TickingClock clock(LocalSeconds(2024, 3, 5, 23, 59, 59));
    const LocalStamp stamp = kelvra::ReadLocalClock(clock);
    EXPECT_EQ(clock.reads, 1);
    EXPECT_EQ(kelvra::FormatNowOf(stamp), "2024-03-05 23:59:59");
}

TEST(ClockText, SystemClockTextsHaveTheirShape) {
    const std::string now = kelvra::FormatNow();
    ASSERT_EQ(now.size(), 19u) << now;
    EXPECT_EQ(now[4], '-');
    EXPECT_EQ(now[7], '-');
    EXPECT_EQ(now[10], ' ');
    EXPECT_EQ(now[13], ':');
    EXPECT_EQ(now[16], ':');
    EXPECT_EQ(kelvra::FormatDate().size(), 10u);
    EXPECT_EQ(kelvra::FormatTime().size(), 8u);
}

}  // namespace
