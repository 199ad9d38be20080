#include "timesync/SntpPacket.h"

#include <cstring>
#include <ctime>

#include "platform/Clock.h"

namespace kelvra::sntp {
namespace {

constexpr uint32_t kSeconds1900To1970 = 2208988800u;
constexpr size_t kStratumOffset = 1;
constexpr size_t kReferenceIdOffset = 12;
constexpr size_t kOriginateOffset = 24;
constexpr size_t kReceiveOffset = 32;
constexpr int kServerMode = 4;
constexpr int kLeapUnsynchronised = 3;
constexpr int kMaxStratum = 15;

uint32_t ReadWord(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

uint64_t ReadTimestamp(const uint8_t* p) { return uint64_t(ReadWord(p)) << 32 | ReadWord(p + 4); }

void WriteTimestamp(uint8_t* p, uint64_t value) {
    for (int i = 7; i >= 0; --i) {
        p[i] = uint8_t(value & 0xFF);
        value >>= 8;
    }
}

int64_t FloorDiv(int64_t a, int64_t b) {
    int64_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

}  // namespace

void BuildRequest(uint64_t transmit, uint8_t (&packet)[kPacketBytes]) {
    std::memset(packet, 0, sizeof packet);
    packet[0] = kRequestFirstByte;
    WriteTimestamp(packet + kTransmitOffset, transmit);
}

ReplyVerdict CheckReply(const uint8_t* reply, size_t length, uint64_t requestTransmit,
                        ReplyFields& fields) {
    if (length < kPacketBytes) return ReplyVerdict::ShortReply;
    fields.leap = reply[0] >> 6;
    fields.version = (reply[0] >> 3) & 0x7;
    fields.mode = reply[0] & 0x7;
    fields.stratum = reply[kStratumOffset];
    fields.originate = ReadTimestamp(reply + kOriginateOffset);
    fields.receive = ReadTimestamp(reply + kReceiveOffset);
    fields.transmit = ReadTimestamp(reply + kTransmitOffset);
    fields.kissCode.clear();

    if (fields.mode != kServerMode) return ReplyVerdict::BadMode;
    // Checked before the kiss code, so that only a reply to our own request can ban a server.
    if (fields.originate != requestTransmit) return ReplyVerdict::BadOriginate;
    if (fields.stratum == 0) {
        for (size_t i = 0; i < 4; ++i) {
            const char c = char(reply[kReferenceIdOffset + i]);
            if (c == '\0') break;
            fields.kissCode.push_back(c);
        }
        return ReplyVerdict::KissOfDeath;
    }
    if (fields.leap == kLeapUnsynchronised || fields.stratum > kMaxStratum) {
        return ReplyVerdict::Unsynchronised;
    }
    if (fields.transmit == 0) return ReplyVerdict::ZeroTransmit;
    return ReplyVerdict::Ok;
}

int64_t NtpSecondsToUnix(uint32_t ntpSeconds) {
    return int64_t(uint32_t(ntpSeconds - kSeconds1900To1970));
}

uint32_t FractionToMillis(uint32_t fraction) {
    return uint32_t((uint64_t(fraction) * 1000u) >> 32);
}

int64_t NtpToUnixMicros(uint64_t timestamp) {
    const int64_t seconds = NtpSecondsToUnix(uint32_t(timestamp >> 32));
    const int64_t micros = int64_t(((timestamp & 0xFFFFFFFFu) * 1000000u) >> 32);
    return seconds * 1000000 + micros;
}

int64_t OffsetMicros(int64_t t1, int64_t t2, int64_t t3, int64_t t4) {
    return ((t2 - t1) + (t3 - t4)) / 2;
}

int64_t RoundTripMicros(int64_t t1, int64_t t2, int64_t t3, int64_t t4) {
    return (t4 - t1) - (t3 - t2);
}

bool UnixMillisToLocal(int64_t unixMillis, SystemTime& out) {
    const int64_t seconds = FloorDiv(unixMillis, 1000);
    std::tm tm{};
    if (!platform::ToLocalTime(seconds, tm)) return false;
    SystemTime t{};
    t.wYear = uint16_t(tm.tm_year + 1900);
    t.wMonth = uint16_t(tm.tm_mon + 1);
    t.wDayOfWeek = uint16_t(tm.tm_wday);
    t.wDay = uint16_t(tm.tm_mday);
    t.wHour = uint16_t(tm.tm_hour);
    t.wMinute = uint16_t(tm.tm_min);
    t.wSecond = uint16_t(tm.tm_sec);
    t.wMilliseconds = uint16_t(unixMillis - seconds * 1000);
    out = t;
    return true;
}

}  // namespace kelvra::sntp
