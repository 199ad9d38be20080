#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/SystemTime.h"

namespace kelvra::sntp {

inline constexpr size_t kPacketBytes = 48;
inline constexpr uint8_t kRequestFirstByte = 0x0B;  // leap 0, version 1, mode 3 (client)
inline constexpr size_t kTransmitOffset = 40;

// The request: 0x0B, zeros, and `transmit` (our random nonce) as the transmit timestamp,
// which the server echoes in the reply's originate field.
void BuildRequest(uint64_t transmit, uint8_t (&packet)[kPacketBytes]);

enum class ReplyVerdict {
    Ok,
    ShortReply,      // fewer than 48 bytes
    BadMode,         // not mode 4 (server)
    BadOriginate,    // originate is not our request's transmit timestamp
    KissOfDeath,     // stratum 0; the code is in the reference identifier
    Unsynchronised,  // leap indicator 3 or stratum above 15
    ZeroTransmit,
};

struct ReplyFields {
    int leap = 0;
    int version = 0;
    int mode = 0;
    int stratum = 0;
    std::string kissCode;  // the four reference identifier characters when stratum is 0
    uint64_t originate = 0;
    uint64_t receive = 0;   // T2
    uint64_t transmit = 0;  // T3
};

// Reads the reply and judges it against the transmit timestamp our request carried.
// Only the first 48 bytes of a longer reply are read.
ReplyVerdict CheckReply(const uint8_t* reply, size_t length, uint64_t requestTransmit,
                        ReplyFields& fields);

// The era rule: seconds since 1970 of NTP seconds, (s - 2208988800) mod 2^32, so every
// value maps into 1970-01-01 00:00:00 .. 2106-02-07 06:28:15 UTC.
int64_t NtpSecondsToUnix(uint32_t ntpSeconds);
// The milliseconds of a fraction: floor(f * 1000 / 2^32), 0..999.
uint32_t FractionToMillis(uint32_t fraction);
// A whole NTP timestamp, with the era rule, in microseconds since 1970 (fraction truncated).
int64_t NtpToUnixMicros(uint64_t timestamp);

// The server's time at the moment of receipt: t4 + ((t2 - t1) + (t3 - t4)) / 2, all in
// microseconds since 1970 (t1 sent and t4 received on our clock, t2/t3 the server's).
int64_t OffsetMicros(int64_t t1, int64_t t2, int64_t t3, int64_t t4);
int64_t RoundTripMicros(int64_t t1, int64_t t2, int64_t t3, int64_t t4);

// Local time record of a moment in milliseconds since 1970 (through platform::ToLocalTime);
// false when the platform cannot convert it.
bool UnixMillisToLocal(int64_t unixMillis, SystemTime& out);

}  // namespace kelvra::sntp
