// The web time page handling: lower-casing, the marker and split rules, the number rule, and
// the whole fallback with a page of any bytes, a fake page getter and a fake clock.
#include <fuzzer/FuzzedDataProvider.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/Clock.h"
#include "platform/TextCase.h"
#include "support/Texts.h"
#include "timesync/WebTimeFallback.h"

using namespace kelvra;

namespace {

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// Same length; an ASCII byte changes only from a capital to its small letter; a byte from 0x80
// up changes only as the second byte of a character in the rows that hold capitals (Roman
// numerals, fullwidth Latin, Greek, Cyrillic), whose first byte stays. Lowering twice changes
// nothing more.
void CheckLower(const std::string& src) {
    const std::string out = platform::LowerCp936(src);
    FUZZ_CHECK(out.size() == src.size());
    for (size_t i = 0; i < src.size(); ++i) {
        const unsigned char a = static_cast<unsigned char>(src[i]);
        const unsigned char b = static_cast<unsigned char>(out[i]);
        if (a == b) continue;
        if (a < 0x80) {
            FUZZ_CHECK(a >= 'A' && a <= 'Z' && b == a - 'A' + 'a');
        } else {
            FUZZ_CHECK(i > 0);
            const unsigned char lead = static_cast<unsigned char>(src[i - 1]);
            FUZZ_CHECK(lead == 0xA2 || lead == 0xA3 || lead == 0xA6 || lead == 0xA7);
            FUZZ_CHECK(out[i - 1] == src[i - 1]);
            FUZZ_CHECK(a >= 0xA1 && a <= 0xFA && b >= 0xA1 && b <= 0xFE);
        }
    }
    FUZZ_CHECK(platform::LowerCp936(out) == out);
}

void CheckExtract(const std::string& source, const std::string& start, const std::string& end) {
    const std::string got = ExtractBetween(source, start, end);
    if (got.empty()) return;
    // A part of the source that follows a start marker; none without both markers.
    FUZZ_CHECK(!start.empty() && !end.empty());
    FUZZ_CHECK(source.find(start + got) != std::string::npos);
    FUZZ_CHECK(source.find(end) != std::string::npos);
}

void CheckSplit(const std::string& source, const std::string& delimiter, int32_t clearFirst,
                uint32_t minLength, const std::vector<std::string>& before) {
    std::vector<std::string> list = before;
    const int32_t count = SplitText(list, source, delimiter, clearFirst, minLength);
    const size_t kept = clearFirst != 0 ? 0 : before.size();
    FUZZ_CHECK(count >= 0 && list.size() == kept + size_t(count));
    for (size_t i = 0; i < kept; ++i) FUZZ_CHECK(list[i] == before[i]);
    const size_t least = delimiter.empty() || minLength == 0 ? 2 : minLength;
    size_t from = 0;
    for (size_t i = kept; i < list.size(); ++i) {
        const std::string& piece = list[i];
        FUZZ_CHECK(piece.size() >= least);
        if (delimiter.empty()) {
            FUZZ_CHECK(piece == source);
            continue;
        }
        FUZZ_CHECK(piece.find(delimiter) == std::string::npos);
        // The pieces come from the source, in order, each bounded by delimiters or its ends.
        const size_t at = source.find(piece, from);
        FUZZ_CHECK(at != std::string::npos);
        from = at + piece.size();
    }
}

// strtol with base 10 on the text up to its first zero byte, clamped to 32 bits.
void CheckDecimal(const std::string& text) {
    const std::string z = text.c_str();
    errno = 0;
    long long v = std::strtoll(z.c_str(), nullptr, 10);
    if (v > INT32_MAX) v = INT32_MAX;
    if (v < INT32_MIN) v = INT32_MIN;
    FUZZ_CHECK(ParseDecimal32(z) == int32_t(v));
}

class FakeClock final : public platform::IClockSetter {
public:
    bool accept = true;
    std::optional<SystemTime> set;
    bool SetLocalTime(const SystemTime& local) override {
        FUZZ_CHECK(!set.has_value());
        set = local;
        return accept;
    }
};

void CheckFallback(const std::string& page, bool accept) {
    FakeClock clock;
    clock.accept = accept;
    int fetches = 0;
    WebTimeFallback fallback(
        [&](const std::string& url, std::string& out) {
            ++fetches;
            FUZZ_CHECK(url == "http://time.example.test/other/gettime.asp");
            out = page;
            return 200;
        },
        clock, [] { return std::string("time.example.test"); });
    const std::string before = "(before)";
    std::string result = before;
    fallback.Run(result);
    FUZZ_CHECK(fetches == 1);
    const bool failed =
        StartsWith(result, texts::kBadDate) || StartsWith(result, texts::kBadTime) ||
        StartsWith(result, texts::kInvalidDateTime);
    if (accept) {
        FUZZ_CHECK(failed || result == texts::kViaWebTime);
        FUZZ_CHECK(clock.set.has_value() == (result == texts::kViaWebTime));
    } else {
        // A refused setting leaves the text the cycle had.
        FUZZ_CHECK(failed || result == before);
        FUZZ_CHECK(clock.set.has_value() == (result == before));
    }
    if (clock.set) {
        const SystemTime& t = *clock.set;
        FUZZ_CHECK(t.wYear >= 1969 && t.wYear <= 3001);
        FUZZ_CHECK(t.wMonth >= 1 && t.wMonth <= 12 && t.wDay >= 1 && t.wDay <= 31);
        FUZZ_CHECK(t.wHour <= 23 && t.wMinute <= 59 && t.wSecond <= 60 && t.wMilliseconds == 0);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint8_t what = in.ConsumeIntegral<uint8_t>();
    switch (what % 5) {
        case 0: CheckLower(in.ConsumeRemainingBytesAsString()); break;
        case 1: {
            const std::string start = in.ConsumeRandomLengthString(16);
            const std::string end = in.ConsumeRandomLengthString(16);
            CheckExtract(in.ConsumeRemainingBytesAsString(), start, end);
            break;
        }
        case 2: {
            const std::string delimiter = in.ConsumeRandomLengthString(4);
            const int32_t clearFirst = in.ConsumeIntegralInRange<int32_t>(-1, 1);
            const uint32_t minLength = in.ConsumeIntegralInRange<uint32_t>(0, 8);
            std::vector<std::string> before(in.ConsumeIntegralInRange<size_t>(0, 2), "x");
            CheckSplit(in.ConsumeRemainingBytesAsString(), delimiter, clearFirst, minLength, before);
            break;
        }
        case 3: CheckDecimal(in.ConsumeRemainingBytesAsString()); break;
        default: {
            const bool accept = (what & 0x80) == 0;
            CheckFallback(in.ConsumeRemainingBytesAsString(), accept);
            break;
        }
    }
    return 0;
}
