// Any bytes as the reply to a request of ours: the verdict follows the reply rules exactly,
// nothing is read past the reply (AddressSanitizer, the reply sits in a buffer of its own size),
// and the conversions of an accepted reply stay in range.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "timesync/SntpPacket.h"

using namespace kelvra;
using namespace kelvra::sntp;

namespace {

uint64_t Big64(const uint8_t* p) {
    uint64_t v = 0;
    for (int i = 0; i < 8; ++i) v = v << 8 | p[i];
    return v;
}

// The rules, written out on their own: at least 48 bytes, mode 4, our originate, a kiss code
// only with stratum 0, leap indicator 3 or stratum above 15 unsynchronised, a transmit time.
ReplyVerdict Expected(const uint8_t* r, size_t n, uint64_t ours) {
    if (n < 48) return ReplyVerdict::ShortReply;
    if ((r[0] & 7) != 4) return ReplyVerdict::BadMode;
    if (Big64(r + 24) != ours) return ReplyVerdict::BadOriginate;
    if (r[1] == 0) return ReplyVerdict::KissOfDeath;
    if ((r[0] >> 6) == 3 || r[1] > 15) return ReplyVerdict::Unsynchronised;
    if (Big64(r + 40) == 0) return ReplyVerdict::ZeroTransmit;
    return ReplyVerdict::Ok;
}

void CheckRecord(const SystemTime& t) {
    FUZZ_CHECK(t.wYear >= 1969 && t.wYear <= 2106);
    FUZZ_CHECK(t.wMonth >= 1 && t.wMonth <= 12);
    FUZZ_CHECK(t.wDay >= 1 && t.wDay <= 31);
    FUZZ_CHECK(t.wDayOfWeek <= 6);
    FUZZ_CHECK(t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 60);
    FUZZ_CHECK(t.wMilliseconds <= 999);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 8) return 0;
    // The first 8 bytes are the transmit time our request carried; the rest is the reply.
    const uint64_t ours = Big64(data);
    const std::vector<uint8_t> reply(data + 8, data + size);
    const uint8_t* r = reply.empty() ? nullptr : reply.data();
    const size_t n = reply.size();

    ReplyFields fields;
    const ReplyVerdict verdict = CheckReply(r, n, ours, fields);
    FUZZ_CHECK(verdict == Expected(r, n, ours));
    if (verdict == ReplyVerdict::ShortReply) return 0;

    FUZZ_CHECK(fields.mode == (r[0] & 7));
    FUZZ_CHECK(fields.leap == (r[0] >> 6));
    FUZZ_CHECK(fields.stratum == r[1]);
    FUZZ_CHECK(fields.originate == Big64(r + 24));
    FUZZ_CHECK(fields.receive == Big64(r + 32));
    FUZZ_CHECK(fields.transmit == Big64(r + 40));
    if (verdict == ReplyVerdict::KissOfDeath) {
        FUZZ_CHECK(fields.kissCode.size() <= 4);
        FUZZ_CHECK(fields.kissCode.find('\0') == std::string::npos);
        FUZZ_CHECK(std::memcmp(fields.kissCode.data(), r + 12, fields.kissCode.size()) == 0);
        FUZZ_CHECK(fields.kissCode.size() == 4 || r[12 + fields.kissCode.size()] == 0);
    } else {
        FUZZ_CHECK(fields.kissCode.empty());
    }
    if (verdict != ReplyVerdict::Ok) return 0;

    // An accepted reply: every rule holds.
    FUZZ_CHECK(n >= 48 && fields.mode == 4 && fields.leap != 3);
    FUZZ_CHECK(fields.stratum >= 1 && fields.stratum <= 15);
    FUZZ_CHECK(fields.transmit != 0 && fields.originate == ours);

    // The conversions: the era rule, milliseconds 0..999 (the truncated fraction), microseconds
    // in the era's range, a local time record in range.
    const uint32_t seconds = uint32_t(fields.transmit >> 32);
    const uint32_t fraction = uint32_t(fields.transmit);
    const int64_t unixSeconds = NtpSecondsToUnix(seconds);
    FUZZ_CHECK(unixSeconds >= 0 && unixSeconds <= int64_t(UINT32_MAX));
    FUZZ_CHECK(uint32_t(unixSeconds) == uint32_t(seconds - 2208988800u));
    const uint32_t millis = FractionToMillis(fraction);
    FUZZ_CHECK(millis <= 999);
    FUZZ_CHECK(uint64_t(millis) << 32 <= uint64_t(fraction) * 1000 &&
               uint64_t(fraction) * 1000 < (uint64_t(millis) + 1) << 32);
    const int64_t micros = NtpToUnixMicros(fields.transmit);
    FUZZ_CHECK(micros / 1000000 == unixSeconds);
    FUZZ_CHECK(micros % 1000000 >= 0 && (micros % 1000000) / 1000 == int64_t(millis));

    SystemTime record;
    FUZZ_CHECK(UnixMillisToLocal(unixSeconds * 1000 + millis, record));
    CheckRecord(record);
    FUZZ_CHECK(record.wMilliseconds == millis);

    // The delay correction on times of our own clock around the reply's never overflows
    // (UndefinedBehaviorSanitizer), and puts the server's time at receipt half the round trip
    // after its transmit time.
    const int64_t t2 = NtpToUnixMicros(fields.receive);
    const int64_t t1 = micros - int64_t(ours % 4000000000u);
    const int64_t t4 = t1 + int64_t((ours >> 32) % 4000000u);
    const int64_t offset = OffsetMicros(t1, t2, micros, t4);
    const int64_t roundTrip = RoundTripMicros(t1, t2, micros, t4);
    const int64_t gap = (t4 + offset) - (micros + roundTrip / 2);
    FUZZ_CHECK(gap >= -1 && gap <= 1);
    return 0;
}
