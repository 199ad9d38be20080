#pragma once
#include <cstdint>

namespace kelvra::sntp {

// Every tunable of the SNTP query and the server phase of a cycle, in one place.
inline constexpr uint16_t kNtpPort = 123;
inline constexpr uint32_t kExchangeTimeoutMillis = 5000;  // send and receive, each
// RFC 4330 section 10: never ask one server (list entry) again sooner than this.
inline constexpr int64_t kMinRequestSpacingMillis = 15 * 1000;
// A RATE kiss-o'-death keeps the server unasked for at least this long.
inline constexpr int64_t kRateKissBackoffMillis = 15 * 60 * 1000;

}  // namespace kelvra::sntp
