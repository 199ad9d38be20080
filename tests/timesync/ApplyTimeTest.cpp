// The real clock setter, only where it cannot move this machine's clock: natively without
// CAP_SYS_TIME, and under Wine (which lets no setting move the clock by more than 0.5 s)
// also only without CAP_SYS_TIME.
#include <gtest/gtest.h>

#include "common/SntpFakes.h"
#include "platform/Clock.h"
#include "timesync/RuVir.h"
#include "timesync/SntpPacket.h"

namespace kelvra {
namespace {

class RealApplyTime : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test::SntpClockChangeImpossible()) {
            GTEST_SKIP() << "this process might be allowed to set the clock";
        }
    }

    SystemTime LocalNowPlus(int64_t millis) {
        SystemTime t{};
        EXPECT_TRUE(sntp::UnixMillisToLocal(platform::SystemClock().WallMicros() / 1000 + millis, t));
        return t;
    }

    ServerList servers_;
    test::SntpFakeClock clock_;
    test::SntpFakeSleeper sleeper_{clock_};
    test::SntpFakeUdp udp_{clock_};
    CRuVir ruvir_{servers_, udp_, clock_, platform::SystemClockSetter(), sleeper_};
};

constexpr int64_t kDayMillis = 24LL * 3600 * 1000;

#ifdef _WIN32
TEST_F(RealApplyTime, SettingTheCurrentTimeSucceeds) { EXPECT_TRUE(ruvir_.ApplyTime(LocalNowPlus(0))); }

TEST_F(RealApplyTime, SettingATimeADayAwayIsRefused) {
    EXPECT_FALSE(ruvir_.ApplyTime(LocalNowPlus(kDayMillis)));
    EXPECT_FALSE(ruvir_.ApplyTime(LocalNowPlus(-kDayMillis)));
}
#else
TEST_F(RealApplyTime, WithoutTheCapabilityNoSettingSucceeds) {
    for (int64_t offset : {int64_t(0), kDayMillis, -kDayMillis}) {
        EXPECT_FALSE(ruvir_.ApplyTime(LocalNowPlus(offset))) << offset;
    }
}
#endif

}  // namespace
}  // namespace kelvra
