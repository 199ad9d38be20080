// The Linux fetcher's response rules on any bytes as the server's response, handed over the way
// the client library does: header lines one by one, then the body in pieces of any size, and
// nothing more once a callback ended the transfer.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzCheck.h"
#include "platform/portable/HttpResponse.h"

using kelvra::platform::http::ResponseReader;

namespace {

// The status code of a status line "HTTP/x.y NNN ...", 0 when it has none.
long StatusOf(const std::string& line) {
    const size_t space = line.find(' ');
    if (space == std::string::npos || space + 3 >= line.size()) return 0;
    long code = 0;
    for (size_t i = space + 1; i < space + 4; ++i) {
        if (line[i] < '0' || line[i] > '9') return 0;
        code = code * 10 + (line[i] - '0');
    }
    return code;
}

// Content-Length on its own terms: digits with blanks around them; none when it is no number.
std::optional<uint64_t> LengthOf(const std::string& value) {
    size_t b = value.find_first_not_of(" \t");
    size_t e = value.find_last_not_of(" \t\r\n\v\f");
    if (b == std::string::npos || e == std::string::npos || e < b) return std::nullopt;
    uint64_t n = 0;
    for (size_t i = b; i <= e; ++i) {
        if (value[i] < '0' || value[i] > '9') return std::nullopt;
        n = n > (UINT64_MAX - 9) / 10 ? UINT64_MAX : n * 10 + uint64_t(value[i] - '0');
    }
    return n;
}

bool IsLengthField(const std::string& line) {
    static const char kName[] = "content-length:";
    if (line.size() <= sizeof(kName) - 1) return false;
    for (size_t i = 0; i < sizeof(kName) - 1; ++i) {
        char c = line[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != kName[i]) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const uint32_t maxBody = in.ConsumeBool() ? 1024 * 1024 : in.ConsumeIntegralInRange<uint32_t>(0, 64);
    const bool transferOk = in.ConsumeBool();
    const uint8_t chunkSeed = in.ConsumeIntegral<uint8_t>();
    const std::string response = in.ConsumeRemainingBytesAsString();

    ResponseReader reader(maxBody);
    bool goOn = true;
    bool ended = false;  // a header block that is no interim response has ended
    long status = 0;
    std::optional<std::optional<uint64_t>> length;  // the block's last Content-Length, if any
    size_t pos = 0;
    while (goOn && pos < response.size()) {
        const size_t nl = response.find('\n', pos);
        if (nl == std::string::npos) break;  // the connection ended within a header line
        const std::string line = response.substr(pos, nl + 1 - pos);
        pos = nl + 1;
        if (line.compare(0, 4, "HTTP") == 0) {
            status = StatusOf(line);
            length.reset();
        } else if (IsLengthField(line)) {
            length = LengthOf(line.substr(15));
        }
        const bool blank = line == "\n" || line == "\r\n";
        bool asked = false;
        goOn = reader.OnHeaderLine(line.data(), line.size(), [&] {
            asked = true;
            return status;
        });
        FUZZ_CHECK(asked == blank);
        if (blank && !(status >= 100 && status < 200)) {
            ended = true;
            break;
        }
        FUZZ_CHECK(goOn);
    }

    const bool accepted = ended && length.has_value() && length->has_value() && **length <= maxBody;
    if (ended) FUZZ_CHECK(goOn == (accepted && **length > 0));
    FUZZ_CHECK(reader.Refused() == (ended && !accepted));

    // The body, in pieces of sizes taken from the input; the library hands over none before
    // the header block has ended.
    std::string sent;
    size_t piece = size_t(chunkSeed % 17) + 1;
    while (ended && goOn && pos < response.size()) {
        const size_t n = std::min(piece, response.size() - pos);
        sent.append(response, pos, n);
        goOn = reader.OnBody(response.data() + pos, n);
        pos += n;
        piece = piece * 5 % 23 + 1;
        FUZZ_CHECK(reader.BodySize() <= reader.Declared());
        FUZZ_CHECK(reader.Declared() <= maxBody);
        FUZZ_CHECK(goOn == (reader.BodySize() < reader.Declared()));
    }

    std::string page = "stale";
    const int32_t got = reader.Finish(transferOk, page);
    if (ended && !accepted) {
        FUZZ_CHECK(got == 0 && page.empty());
        return 0;
    }
    const bool complete = accepted && sent.size() >= **length;
    if (!complete && (!transferOk || !ended)) {
        FUZZ_CHECK(got == -1 && page.empty());
        return 0;
    }
    FUZZ_CHECK(accepted);
    FUZZ_CHECK(got == int32_t(status));
    // The page: the declared part of the body, up to its first zero byte.
    std::string expected = sent.substr(0, size_t(**length));
    const size_t zero = expected.find('\0');
    if (zero != std::string::npos) expected.resize(zero);
    FUZZ_CHECK(page == expected);
    return 0;
}
