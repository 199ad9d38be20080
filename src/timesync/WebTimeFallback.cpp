#include "timesync/WebTimeFallback.h"

#include <cstdlib>
#include <ctime>
#include <utility>

#include "platform/Cp936.h"
#include "platform/TextCase.h"
#include "support/Texts.h"

namespace kelvra {
namespace {

// The range the time conversion supports: 1970-01-01 00:00:00 to 3000-12-31 23:59:59 UTC.
constexpr int64_t kLatestSupportedSecond = 32535215999;

// Byte offset of the first `needle` in `haystack` that begins on a character of its own.
size_t FindCp936(const std::string& haystack, const std::string& needle) {
    if (needle.size() > haystack.size()) return std::string::npos;
    for (size_t i = 0; i + needle.size() <= haystack.size();) {
        if (haystack.compare(i, needle.size(), needle) == 0) return i;
        i += IsCp936LeadByte(static_cast<unsigned char>(haystack[i])) ? 2 : 1;
    }
    return std::string::npos;
}

bool WithinLimits(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second) {
    return year >= 1900 && month >= 1 && month <= 12 && day >= 1 && day <= 31 && hour >= 0 && hour <= 23 &&
           minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// The local date and time, normalised through the conversion to seconds and back.
bool ToSystemTime(int32_t year, int32_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                  SystemTime& out) {
    std::tm tm{};
    tm.tm_sec = second;
    tm.tm_min = minute;
    tm.tm_hour = hour;
    tm.tm_mday = day;
    tm.tm_mon = month - 1;
    tm.tm_year = year - 1900;
    tm.tm_isdst = -1;
    const int64_t seconds = platform::FromLocalTime(tm);
    if (seconds < 0 || seconds > kLatestSupportedSecond) return false;
    std::tm local{};
    if (!platform::ToLocalTime(seconds, local)) return false;
    out = SystemTime{};
    out.wYear = uint16_t(local.tm_year + 1900);
    out.wMonth = uint16_t(local.tm_mon + 1);
    out.wDay = uint16_t(local.tm_mday);
    out.wHour = uint16_t(local.tm_hour);
    out.wMinute = uint16_t(local.tm_min);
    out.wSecond = uint16_t(local.tm_sec);
    out.wMilliseconds = 0;
    return true;
}

}  // namespace

WebTimeFallback::WebTimeFallback(PageGetter getPage, platform::IClockSetter& clock, HostProvider host)
    : getPage_(std::move(getPage)), clock_(clock), host_(std::move(host)) {}

void WebTimeFallback::Run(std::string& resultText) {
    std::string page;
    const std::string host = host_ ? host_() : std::string();
    // Without a configured endpoint the fetch fails at once: no lookup, no traffic.
    if (!host.empty()) {
        const std::string url = "http://" + host + kWebTimePath;
        getPage_(url, page);  // the status is not looked at: a failed fetch leaves the page empty
    }
    page = platform::LowerCp936(page);

    const std::string dateText = ExtractBetween(page, "<date>", "</date>");
    const std::string timeText = ExtractBetween(page, "<time>", "</time>");

    std::vector<std::string> datePieces;
    SplitText(datePieces, dateText, "-", 1, 1);
    if (datePieces.size() < 3) {
        resultText = texts::kBadDate + dateText;
        return;
    }
    std::vector<std::string> timePieces;
    SplitText(timePieces, timeText, ":", 1, 1);
    if (timePieces.size() < 3) {
        resultText = texts::kBadTime + timeText;
        return;
    }

    const int32_t year = ParseDecimal32(datePieces[0]);
    const int32_t month = ParseDecimal32(datePieces[1]);
    const int32_t day = ParseDecimal32(datePieces[2]);
    const int32_t hour = ParseDecimal32(timePieces[0]);
    const int32_t minute = ParseDecimal32(timePieces[1]);
    const int32_t second = ParseDecimal32(timePieces[2]);

    SystemTime time;
    if (!WithinLimits(year, month, day, hour, minute, second) ||
        !ToSystemTime(year, month, day, hour, minute, second, time)) {
        resultText = texts::kInvalidDateTime + dateText + " " + timeText;
        return;
    }
    if (clock_.SetLocalTime(time)) resultText = texts::kViaWebTime;
}

WebTimeFallback::HostProvider WebTimeHostFrom(IConfigStore& config) {
    return [&config] { return config.ReadValue(kWebTimeHostKey, texts::kConfigSection); };
}

std::string ExtractBetween(const std::string& source, const std::string& start, const std::string& end) {
    if (source.empty() || start.empty() || end.empty()) return {};
    const size_t startPos = FindCp936(source, start);
    const size_t endPos = FindCp936(source, end);
    if (startPos == std::string::npos || endPos == std::string::npos || startPos >= endPos) return {};
    // The end marker may begin inside the start marker; the count is then taken as a distance.
    const int64_t span = int64_t(endPos) - int64_t(startPos) - int64_t(start.size());
    const size_t count = size_t(span < 0 ? -span : span);
    const size_t from = startPos + start.size();
    if (from >= source.size()) return {};
    return source.substr(from, count);
}

int32_t SplitText(std::vector<std::string>& list, const std::string& source, const std::string& delimiter,
                  int32_t clearFirst, uint32_t minLength) {
    if (clearFirst != 0) list.clear();
    if (delimiter.empty()) {
        if (source.size() >= 2) {
            list.push_back(source);
            return 1;
        }
        return 0;
    }
    if (minLength == 0) minLength = 2;
    int32_t count = 0;
    size_t pos = 0;
    for (;;) {
        const size_t found = source.find(delimiter, pos);
        if (found == std::string::npos) break;
        if (found - pos >= minLength) {
            list.push_back(source.substr(pos, found - pos));
            ++count;
        }
        pos = found + delimiter.size();
    }
    if (source.size() - pos >= minLength) {
        list.push_back(source.substr(pos));
        ++count;
    }
    return count;
}

int32_t ParseDecimal32(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t(INT32_MAX) + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > kLimit) value = kLimit;
    }
    if (negative) return value >= kLimit ? INT32_MIN : int32_t(-value);
    return value > INT32_MAX ? INT32_MAX : int32_t(value);
}

}  // namespace kelvra
