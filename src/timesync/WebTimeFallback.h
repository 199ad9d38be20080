#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "schedule/ConfigStore.h"
#include "timesync/WebTimeStage.h"

namespace kelvra {

// The web time endpoint's path; its host is a deployment setting (key WebTimeHost).
inline constexpr char kWebTimePath[] = "/other/gettime.asp";
inline constexpr char kWebTimeHostKey[] = "WebTimeHost";

// The last stage of a cycle: reads the date and time from the web time page and sets the
// clock from them.
class WebTimeFallback final : public IWebTimeStage {
public:
    using PageGetter = std::function<int32_t(const std::string& url, std::string& page)>;
    using HostProvider = std::function<std::string()>;

    // `getPage` fetches a page (CHttp::Get); `host` gives the endpoint's host, optionally
    // with ":port", afresh for every run; empty means no endpoint is configured.
    WebTimeFallback(PageGetter getPage, platform::IClockSetter& clock, HostProvider host);

    void Run(std::string& resultText) override;

private:
    PageGetter getPage_;
    platform::IClockSetter& clock_;
    HostProvider host_;
};

// Reads key WebTimeHost of our section of config.ini, at every call.
WebTimeFallback::HostProvider WebTimeHostFrom(IConfigStore& config);

// The part of `source` between the first `start` and the first `end` (both searched from the
// beginning, never matching on the second byte of a two-byte character); empty when either is
// missing, empty, or `end` does not come after `start`.
std::string ExtractBetween(const std::string& source, const std::string& start, const std::string& end);

// Appends to `list` (emptied first when `clearFirst` is non-zero) the pieces of `source`
// between occurrences of `delimiter` that are at least `minLength` bytes long (0 means 2);
// returns how many were appended.
int32_t SplitText(std::vector<std::string>& list, const std::string& source, const std::string& delimiter,
                  int32_t clearFirst, uint32_t minLength);

// A decimal number read the way strtol reads it with base 10, clamped to 32 bits.
int32_t ParseDecimal32(const std::string& text);

}  // namespace kelvra
