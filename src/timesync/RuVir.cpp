#include "timesync/RuVir.h"

#include "support/Texts.h"
#include "timesync/SntpPacket.h"

namespace kelvra {
namespace {

// An entry of this many bytes or fewer ends the server phase of a cycle.
constexpr size_t kStopEntryBytes = 2;

SntpStatus FromUdp(platform::UdpStatus status) {
    switch (status) {
        case platform::UdpStatus::Ok: return SntpStatus::Ok;
        case platform::UdpStatus::NoAddress: return SntpStatus::NoAddress;
        case platform::UdpStatus::SocketError: return SntpStatus::SocketError;
        case platform::UdpStatus::SendError: return SntpStatus::SendError;
        case platform::UdpStatus::Refused: return SntpStatus::Refused;
        case platform::UdpStatus::Timeout: return SntpStatus::Timeout;
        case platform::UdpStatus::ReceiveError: return SntpStatus::ReceiveError;
    }
    return SntpStatus::SocketError;
}

SntpStatus FromVerdict(sntp::ReplyVerdict verdict) {
    switch (verdict) {
        case sntp::ReplyVerdict::Ok: return SntpStatus::Ok;
        case sntp::ReplyVerdict::ShortReply: return SntpStatus::ShortReply;
        case sntp::ReplyVerdict::BadMode: return SntpStatus::BadMode;
        case sntp::ReplyVerdict::BadOriginate: return SntpStatus::BadOriginate;
        case sntp::ReplyVerdict::KissOfDeath: return SntpStatus::KissOfDeath;
        case sntp::ReplyVerdict::Unsynchronised: return SntpStatus::Unsynchronised;
        case sntp::ReplyVerdict::ZeroTransmit: return SntpStatus::ZeroTransmit;
    }
    return SntpStatus::ShortReply;
}

int64_t MicrosToMillis(int64_t micros) {
    int64_t q = micros / 1000;
    if (micros % 1000 != 0 && micros < 0) --q;
    return q;
}

// The clock is set to whole milliseconds: the nearest one, so the error is centred on zero
// instead of always lying up to a millisecond behind.
int64_t MicrosToNearestMillis(int64_t micros) {
    return MicrosToMillis(micros + 500);
}

}  // namespace

CRuVir::CRuVir(ServerList& servers, platform::IUdpExchange& udp, platform::IClock& clock,
               platform::IClockSetter& clockSetter, platform::ISleeper& sleeper,
               IWebTimeStage* webTime, uint16_t port)
    : servers_(servers),
      udp_(udp),
      clock_(clock),
      clockSetter_(clockSetter),
      sleeper_(sleeper),
      webTime_(webTime),
      port_(port) {
    std::random_device device;
    std::seed_seq seed{device(), device(), device(), device(),
                       uint32_t(clock_.WallMicros()), uint32_t(uint64_t(clock_.WallMicros()) >> 32)};
    random_.seed(seed);
    for (const char* server : kBuiltInServers) servers_.push_back(server);
}

CRuVir::~CRuVir() = default;

std::string CRuVir::SyncTime() {
    std::string result;
    bool success = false;
    for (size_t i = 0; i < servers_.size(); ++i) {
        const std::string server = servers_[i];
        if (server.size() <= kStopEntryBytes) break;

        EntryState& state = StateOf(i);
        if (IsBanned(state)) {
            result = texts::kServerQueryFailed + server;
            continue;
        }
        if (!WaitForSpacing(state)) {
            // Stopping: end the cycle here, as a failure, without the web stage.
            return texts::kServerQueryFailed + server;
        }
        state.asked = true;
        state.lastRequestMillis = clock_.MonotonicMillis();

        SystemTime time{};
        const SntpOutcome outcome = QueryServerDetailed(server, time);
        if (outcome.status == SntpStatus::KissOfDeath) NoteKiss(state, outcome.kissCode);
        if (outcome.status != SntpStatus::Ok) {
            result = texts::kServerQueryFailed + server;
            continue;
        }
        if (ApplyTime(time)) {
            result = texts::kViaServerOpen + server + texts::kViaServerClose;
            success = true;
            break;
        }
        result = texts::kSetTimeFailed;
    }
    if (!success && webTime_ != nullptr) webTime_->Run(result);
    return result;
}

bool CRuVir::ApplyTime(const SystemTime& time) { return clockSetter_.SetLocalTime(time); }

bool CRuVir::QueryServer(const std::string& server, SystemTime& time) {
    return QueryServerDetailed(server, time).status == SntpStatus::Ok;
}

SntpOutcome CRuVir::QueryServerDetailed(const std::string& server, SystemTime& time) {
    SntpOutcome outcome;
    const uint64_t nonce = NextNonce();
    uint8_t request[sntp::kPacketBytes];
    sntp::BuildRequest(nonce, request);
    uint8_t reply[sntp::kPacketBytes] = {};

    const platform::UdpExchangeResult exchange =
        udp_.Exchange(server, port_, request, sizeof request, reply, sizeof reply,
                      sntp::kExchangeTimeoutMillis);
    outcome.status = FromUdp(exchange.status);
    if (outcome.status != SntpStatus::Ok) return outcome;

    sntp::ReplyFields fields;
    outcome.status = FromVerdict(sntp::CheckReply(reply, exchange.length, nonce, fields));
    outcome.stratum = fields.stratum;
    outcome.kissCode = fields.kissCode;
    if (outcome.status != SntpStatus::Ok) return outcome;

    const int64_t t1 = exchange.sentMicros;
    const int64_t t2 = sntp::NtpToUnixMicros(fields.receive);
    const int64_t t3 = sntp::NtpToUnixMicros(fields.transmit);
    const int64_t t4 = exchange.receivedMicros;
    const int64_t offset = sntp::OffsetMicros(t1, t2, t3, t4);
    outcome.offsetMillis = MicrosToMillis(offset);
    outcome.delayMillis = MicrosToMillis(sntp::RoundTripMicros(t1, t2, t3, t4));

    if (!sntp::UnixMillisToLocal(MicrosToNearestMillis(t4 + offset), time)) {
        outcome.status = SntpStatus::BadTime;
    }
    return outcome;
}

CRuVir::EntryState& CRuVir::StateOf(size_t index) {
    if (entries_.size() <= index) entries_.resize(index + 1);
    return entries_[index];
}

bool CRuVir::IsBanned(const EntryState& state) {
    if (state.bannedForever) return true;
    return state.bannedUntilMillis != 0 && clock_.MonotonicMillis() < state.bannedUntilMillis;
}

bool CRuVir::WaitForSpacing(const EntryState& state) {
    // Once a stop is asked for, no further server is asked, waited for or not.
    if (sleeper_.StopRequested()) return false;
    if (!state.asked) return true;
    const int64_t elapsed = clock_.MonotonicMillis() - state.lastRequestMillis;
    if (elapsed >= sntp::kMinRequestSpacingMillis) return true;
    return sleeper_.Sleep(uint32_t(sntp::kMinRequestSpacingMillis - elapsed));
}

void CRuVir::NoteKiss(EntryState& state, const std::string& code) {
    if (code == "DENY" || code == "RSTR") {
        state.bannedForever = true;
    } else if (code == "RATE") {
        state.bannedUntilMillis = clock_.MonotonicMillis() + sntp::kRateKissBackoffMillis;
    }
}

uint64_t CRuVir::NextNonce() {
    uint64_t nonce = 0;
    while (nonce == 0) nonce = random_();
    return nonce;
}

}  // namespace kelvra
