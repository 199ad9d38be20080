#include "common/SntpTestServer.h"

#include <chrono>
#include <cstring>

#include "platform/Clock.h"

namespace kelvra::test {
namespace {

void PutTimestamp(uint8_t* p, uint64_t value) {
    for (int i = 7; i >= 0; --i) {
        p[i] = uint8_t(value & 0xFF);
        value >>= 8;
    }
}

void Hold(uint32_t millis) {
    if (millis != 0) std::this_thread::sleep_for(std::chrono::milliseconds(millis));
}

}  // namespace

uint64_t SntpTimestampOfUnixMicros(int64_t unixMicros) {
    const uint64_t seconds = uint64_t(unixMicros / 1000000) + 2208988800u;
    const uint64_t micros = uint64_t(unixMicros % 1000000);
    // Rounded up, so that reading the fraction back in whole microseconds gives `micros`.
    const uint64_t fraction = ((micros << 32) + 999999) / 1000000;
    return (seconds & 0xFFFFFFFFu) << 32 | (fraction & 0xFFFFFFFFu);
}

SntpTestServer::SntpTestServer(SntpServerBehaviour behaviour) : behaviour_(std::move(behaviour)) {
    if (ok()) thread_ = std::thread([this] { Serve(); });
}

SntpTestServer::~SntpTestServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void SntpTestServer::SetBehaviour(const SntpServerBehaviour& behaviour) {
    std::lock_guard<std::mutex> lock(mutex_);
    behaviour_ = behaviour;
}

std::vector<std::vector<uint8_t>> SntpTestServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

void SntpTestServer::Serve() {
    uint8_t buffer[512];
    while (!stop_) {
        SntpPeer client;
        const int got = socket_.ReceiveFrom(buffer, sizeof buffer, 50, client);
        if (got < 0) continue;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            requests_.emplace_back(buffer, buffer + got);
        }
        Answer(buffer, size_t(got), client);
    }
}

void SntpTestServer::Answer(const uint8_t* request, size_t length, const SntpPeer& client) {
    SntpServerBehaviour b;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        b = behaviour_;
    }
    if (b.kind == SntpReplyKind::Never) return;

    platform::IClock& clock = platform::SystemClock();
    Hold(b.inboundDelayMillis);
    const uint64_t received = b.fixedTime ? b.fixedTimestamp
                                          : SntpTimestampOfUnixMicros(clock.WallMicros() + b.clockOffsetMicros);
    Hold(b.processingMillis);
    const uint64_t transmitted = b.fixedTime ? b.fixedTimestamp
                                             : SntpTimestampOfUnixMicros(clock.WallMicros() + b.clockOffsetMicros);

    std::vector<uint8_t> reply(48, 0);
    reply[0] = 0x0C;  // leap 0, version 1, mode 4 (server)
    reply[1] = 2;     // stratum
    reply[2] = 6;
    reply[3] = uint8_t(-20);
    std::memcpy(&reply[12], "LOCL", 4);
    PutTimestamp(&reply[16], received);
    if (length >= 48) std::memcpy(&reply[24], request + 40, 8);  // originate = our transmit
    PutTimestamp(&reply[32], received);
    PutTimestamp(&reply[40], transmitted);

    switch (b.kind) {
        case SntpReplyKind::Short: reply.resize(b.length); break;
        case SntpReplyKind::Long: reply.resize(b.length, 0); break;
        case SntpReplyKind::ClientMode: reply[0] = 0x0B; break;
        case SntpReplyKind::Unsynchronised: reply[0] = 0xCC; break;
        case SntpReplyKind::Stratum16: reply[1] = 16; break;
        case SntpReplyKind::Kiss:
            reply[1] = 0;
            std::memset(&reply[12], 0, 4);
            std::memcpy(&reply[12], b.kissCode.data(), b.kissCode.size() < 4 ? b.kissCode.size() : 4);
            std::memcpy(&reply[16], &reply[24], 8);
            std::memcpy(&reply[32], &reply[24], 8);
            std::memcpy(&reply[40], &reply[24], 8);
            break;
        case SntpReplyKind::ZeroTransmit: std::memset(&reply[40], 0, 8); break;
        case SntpReplyKind::WrongOriginate: reply[31] ^= 0x01; break;
        default: break;
    }

    Hold(b.outboundDelayMillis);
    SntpTestSocket& from = b.kind == SntpReplyKind::FromOtherSocket ? other_ : socket_;
    from.SendTo(reply.data(), reply.size(), client);
}

}  // namespace kelvra::test
