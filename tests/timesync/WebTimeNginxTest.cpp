// The web time endpoint we ship for nginx, served by a real nginx on loopback, read and
// applied by the fallback over the real HTTP client.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <ctime>
#include <optional>

#include "common/TestHttpNginx.h"
#include "common/TestTime.h"
#include "platform/Http.h"
#include "support/Texts.h"
#include "timesync/CHttp.h"
#include "timesync/WebTimeFallback.h"

namespace kelvra {
namespace {

class RecordingClockSetter final : public platform::IClockSetter {
public:
    std::optional<SystemTime> set;
    bool SetLocalTime(const SystemTime& local) override {
        set = local;
        return true;
    }
};

std::string ShippedConfig() {
    std::string here = __FILE__;  // <root>/tests/timesync/WebTimeNginxTest.cpp
    for (int i = 0; i < 3; ++i) here = here.substr(0, here.find_last_of('/'));
    return here + "/packaging/webtime/nginx-kelvra-webtime.conf";
}


TEST(WebTimeNginx, FallbackSetsTheClockFromTheShippedNginxEndpoint) {
    test::TestHttpNginx nginx;
    ASSERT_TRUE(nginx.Start(ShippedConfig())) << nginx.Error();

    auto transport = platform::MakeSystemHttp(platform::HttpLimits{});
    RecordingClockSetter clock;
    WebTimeFallback fallback(MakeHttpPageGetter(*transport), clock,
                             [&] { return "127.0.0.1:" + std::to_string(nginx.Port()); });
    std::string result = texts::kSetTimeFailed;
    const int64_t before = int64_t(std::time(nullptr));
    const auto start = std::chrono::steady_clock::now();
    fallback.Run(result);
    const auto took = std::chrono::steady_clock::now() - start;
    const int64_t after = int64_t(std::time(nullptr));

    EXPECT_EQ(result, texts::kViaWebTime);
    ASSERT_TRUE(clock.set.has_value());
    const int64_t served = kelvra::test::LocalSecondsOf(*clock.set);
    EXPECT_GE(served, before - 1);
    EXPECT_LE(served, after + 1);
    std::printf("one fallback against local nginx took %.1f ms\n",
                std::chrono::duration<double, std::milli>(took).count());
}

}  // namespace
}  // namespace kelvra
#endif
