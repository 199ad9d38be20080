#pragma once
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "timesync/RuVir.h"
#include "timesync/WebTimeFallback.h"

namespace kelvra {

// A clock setter that keeps what it is asked to set and sets nothing.
class RecordingClockSetter final : public platform::IClockSetter {
public:
    bool SetLocalTime(const SystemTime& local) override {
        requested = local;
        return false;
    }
    std::optional<SystemTime> requested;
};

// What the operator's query asks: each server once (through the cycle's own checks), then the
// web time page. Nothing here can set the clock.
struct SourceQueryDeps {
    std::vector<std::string> servers;
    std::function<SntpOutcome(const std::string& server)> askServer;
    WebTimeFallback::HostProvider webTimeHost;
    WebTimeFallback::PageGetter getPage;
    platform::IClock& clock;  // the local clock the web page's time is compared with
};

// Writes the query's table, one line per source as soon as it has answered, and a closing
// summary line; returns how many sources gave a usable time.
int QueryTimeSources(const SourceQueryDeps& deps, const std::function<void(const std::string&)>& write);

// The process exit code of a query: 0 when at least one source gave a usable time, else 1.
inline int QueryExitCode(int usableSources) { return usableSources > 0 ? 0 : 1; }

// The third column of a server's line.
std::string DescribeServerOutcome(const SntpOutcome& outcome);

// `text` with every byte outside printable ASCII replaced by '?', cut to `maxBytes` (with "...").
std::string PrintableExcerpt(const std::string& text, size_t maxBytes);

// The real query: the built-in servers over the system's UDP, the web time host of config.ini.
int RunTimeSourceQuery(const std::function<void(const std::string&)>& write);

}  // namespace kelvra
