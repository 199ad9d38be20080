#include "service/SourceQuery.h"

#include <cstring>
#include <ctime>

#include "service/CommandLine.h"
#include "support/ClockText.h"
#include "support/Texts.h"
#include "timesync/SntpTiming.h"

namespace kelvra {
namespace {

// Texts taken from a page or a reply are shown only this long.
constexpr size_t kExcerptBytes = 40;

bool StartsWith(const std::string& text, const char* prefix, std::string& rest) {
    const size_t length = std::strlen(prefix);
    if (text.compare(0, length, prefix) != 0) return false;
    rest = text.substr(length);
    return true;
}

std::string Line(int number, const std::string& name, const std::string& what) {
    return FormatText(texts::kQueryLine, number, name.c_str(), what.c_str());
}

// Seconds since 1970 of a local time record; -1 when it has none.
int64_t SecondsOfLocal(const SystemTime& time) {
    std::tm tm{};
    tm.tm_year = int(time.wYear) - 1900;
    tm.tm_mon = int(time.wMonth) - 1;
    tm.tm_mday = time.wDay;
    tm.tm_hour = time.wHour;
    tm.tm_min = time.wMinute;
    tm.tm_sec = time.wSecond;
    tm.tm_isdst = -1;
    return platform::FromLocalTime(tm);
}

std::string DescribeWebTime(const SourceQueryDeps& deps, const std::string& host, bool& usable) {
    usable = false;
    if (host.empty()) return texts::kQueryWebNoHost;

    int32_t status = 0;
    bool gotPage = false;
    RecordingClockSetter recorder;
    WebTimeFallback web(
        [&](const std::string& url, std::string& page) {
            status = deps.getPage(url, page);
            gotPage = !page.empty();
            return status;
        },
        recorder, [&host] { return host; });
    std::string result;
    web.Run(result);
    const int64_t nowMillis = deps.clock.WallMicros() / 1000;

    if (recorder.requested) {
        const SystemTime& time = *recorder.requested;
        LocalStamp stamp;
        stamp.year = time.wYear;
        stamp.month = time.wMonth;
        stamp.day = time.wDay;
        stamp.hour = time.wHour;
        stamp.minute = time.wMinute;
        stamp.second = time.wSecond;
        const long long offset = (long long)(SecondsOfLocal(time) * 1000 - nowMillis);
        usable = true;
        return FormatText(texts::kQueryWebOk, FormatNowOf(stamp).c_str(), offset);
    }
    if (!gotPage) return FormatText(texts::kQueryWebFetchFailed, int(status));
    std::string rest;
    const char* format = texts::kQueryWebInvalid;
    if (StartsWith(result, texts::kBadDate, rest)) {
        format = texts::kQueryWebBadDate;
    } else if (StartsWith(result, texts::kBadTime, rest)) {
        format = texts::kQueryWebBadTime;
    } else {
        StartsWith(result, texts::kInvalidDateTime, rest);
    }
    return FormatText(format, PrintableExcerpt(rest, kExcerptBytes).c_str());
}

}  // namespace

std::string PrintableExcerpt(const std::string& text, size_t maxBytes) {
    std::string out;
    for (const char c : text) {
        if (out.size() >= maxBytes) return out + "...";
        out.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return out;
}

std::string DescribeServerOutcome(const SntpOutcome& outcome) {
    switch (outcome.status) {
        case SntpStatus::Ok:
            return FormatText(texts::kQueryServerOk, (long long)outcome.offsetMillis,
                              (long long)outcome.delayMillis, outcome.stratum);
        case SntpStatus::NoAddress: return texts::kQueryNoAddress;
        case SntpStatus::Timeout: return FormatText(texts::kQueryTimeout, unsigned(sntp::kExchangeTimeoutMillis));
        case SntpStatus::Refused: return FormatText(texts::kQueryRefused, unsigned(sntp::kNtpPort));
        case SntpStatus::KissOfDeath:
            return FormatText(texts::kQueryKissOfDeath, PrintableExcerpt(outcome.kissCode, 4).c_str());
        case SntpStatus::Unsynchronised: return FormatText(texts::kQueryUnsynchronised, outcome.stratum);
        case SntpStatus::BadMode: return texts::kQueryBadMode;
        case SntpStatus::ShortReply: return texts::kQueryShortReply;
        case SntpStatus::BadOriginate: return texts::kQueryBadOriginate;
        case SntpStatus::ZeroTransmit: return texts::kQueryZeroTransmit;
        case SntpStatus::SocketError: return texts::kQuerySocketError;
        case SntpStatus::SendError: return texts::kQuerySendError;
        case SntpStatus::ReceiveError: return texts::kQueryReceiveError;
        case SntpStatus::BadTime: return texts::kQueryBadTime;
    }
    return texts::kQuerySocketError;
}

int QueryTimeSources(const SourceQueryDeps& deps, const std::function<void(const std::string&)>& write) {
    write(texts::kQueryHeader);
    int usable = 0;
    int number = 0;
    for (const std::string& server : deps.servers) {
        const SntpOutcome outcome = deps.askServer(server);
        if (outcome.status == SntpStatus::Ok) ++usable;
        write(Line(++number, server, DescribeServerOutcome(outcome)));
    }

    const std::string host = deps.webTimeHost ? deps.webTimeHost() : std::string();
    bool webUsable = false;
    const std::string what = DescribeWebTime(deps, host, webUsable);
    if (webUsable) ++usable;
    const std::string name = host.empty() ? std::string(texts::kQueryWebName)
                                          : std::string(texts::kQueryWebName) + " " +
                                                PrintableExcerpt(host, kExcerptBytes);
    write(Line(++number, name, what));

    write(usable > 0 ? FormatText(texts::kQueryUsable, usable, number) : std::string(texts::kQueryNoneUsable));
    return usable;
}

}  // namespace kelvra
