#pragma once
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/Sleeper.h"
#include "platform/SystemTime.h"
#include "platform/Udp.h"
#include "timesync/ServerList.h"
#include "timesync/SntpTiming.h"
#include "timesync/SyncCycle.h"
#include "timesync/WebTimeStage.h"

namespace kelvra {

// The built-in servers, in the order every construction appends them.
inline constexpr const char* kBuiltInServers[] = {
    "cn.pool.ntp.org",   // national public NTP pool
    "ntp.sjtu.edu.cn",   // a university's public time server
    "s1a.time.edu.cn",   // education and research network
    "ntp.aliyun.com",    // public NTP server of another operator
    "ntp.ntsc.ac.cn",    // national time service laboratory
    "hk.pool.ntp.org",   // the same pool, another region
    "time.windows.com",  // the operating-system vendor's time service
};

// What one exchange with one server came to, for the cycle and for an operator's query.
enum class SntpStatus {
    Ok,
    NoAddress,
    Timeout,
    Refused,         // the server's port is closed
    KissOfDeath,     // see kissCode
    Unsynchronised,  // leap indicator 3 or stratum above 15
    BadMode,
    ShortReply,
    BadOriginate,
    ZeroTransmit,
    SocketError,
    SendError,
    ReceiveError,
    BadTime,         // the server's time has no local time on this platform
};

struct SntpOutcome {
    SntpStatus status = SntpStatus::SocketError;
    std::string kissCode;      // with KissOfDeath: DENY, RSTR, RATE, ...
    int stratum = 0;
    int64_t offsetMillis = 0;  // server clock minus ours
    int64_t delayMillis = 0;   // round trip, less the server's own time
};

// The time synchronisation class: the server list, one SNTP exchange, one cycle.
class CRuVir : public ISyncCycle {
public:
    CRuVir(ServerList& servers, platform::IUdpExchange& udp, platform::IClock& clock,
           platform::IClockSetter& clockSetter, platform::ISleeper& sleeper,
           IWebTimeStage* webTime = nullptr, uint16_t port = sntp::kNtpPort);
    ~CRuVir() override;

    // One cycle: the servers in list order, then (when none led to a set clock) the web stage.
    std::string SyncTime() override;
    // Sets the local clock from `time` (local time); true only when the clock was set.
    bool ApplyTime(const SystemTime& time);
    // One SNTP exchange; fills `time` (the server's time at receipt, local) only on success.
    // These ask at once: the 15-second floor and the bans are the cycle's, per list entry.
    bool QueryServer(const std::string& server, SystemTime& time);
    SntpOutcome QueryServerDetailed(const std::string& server, SystemTime& time);

private:
    // Kept per list entry across cycles (the object lives as long as the worker).
    struct EntryState {
        bool asked = false;
        int64_t lastRequestMillis = 0;  // monotonic
        bool bannedForever = false;     // DENY or RSTR
        int64_t bannedUntilMillis = 0;  // RATE, monotonic
    };

    EntryState& StateOf(size_t index);
    bool IsBanned(const EntryState& state);
    bool WaitForSpacing(const EntryState& state);  // false when a stop ended the wait
    void NoteKiss(EntryState& state, const std::string& code);
    uint64_t NextNonce();

    ServerList& servers_;
    platform::IUdpExchange& udp_;
    platform::IClock& clock_;
    platform::IClockSetter& clockSetter_;
    platform::ISleeper& sleeper_;
    IWebTimeStage* webTime_;
    uint16_t port_;
    std::vector<EntryState> entries_;
    std::mt19937_64 random_;
};

}  // namespace kelvra
