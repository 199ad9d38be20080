#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/SntpTestSocket.h"

namespace kelvra::test {

// How the test SNTP server answers a request.
enum class SntpReplyKind {
    Correct,
    Never,            // reads the request and stays silent
    FromOtherSocket,  // a correct reply, but sent from a second socket (another port)
    Short,            // the first `length` bytes of a correct reply
    Long,             // a correct reply padded with zeros to `length` bytes
    ClientMode,       // mode 3 instead of 4
    Unsynchronised,   // leap indicator 3
    Stratum16,
    Kiss,             // stratum 0, `kissCode` as reference identifier, our transmit echoed in all three
    ZeroTransmit,
    WrongOriginate,
};

struct SntpServerBehaviour {
    SntpReplyKind kind = SntpReplyKind::Correct;
    int64_t clockOffsetMicros = 0;  // the server's clock minus this machine's
    // Network delay on either path, made by holding: before the receive timestamp is taken
    // (inbound) and after the transmit timestamp is taken (outbound).
    uint32_t inboundDelayMillis = 0;
    uint32_t outboundDelayMillis = 0;
    uint32_t processingMillis = 0;  // between the receive and transmit timestamps
    std::string kissCode = "RATE";
    size_t length = 48;
    bool fixedTime = false;  // send `fixedTimestamp` as receive and transmit timestamps
    uint64_t fixedTimestamp = 0;
};

// A real UDP SNTP server on 127.0.0.1 (ephemeral port), run on a thread of its own.
class SntpTestServer {
public:
    explicit SntpTestServer(SntpServerBehaviour behaviour = {});
    ~SntpTestServer();
    SntpTestServer(const SntpTestServer&) = delete;
    SntpTestServer& operator=(const SntpTestServer&) = delete;

    bool ok() const { return socket_.ok() && other_.ok(); }
    uint16_t port() const { return socket_.port(); }
    void SetBehaviour(const SntpServerBehaviour& behaviour);
    std::vector<std::vector<uint8_t>> Requests() const;

private:
    void Serve();
    void Answer(const uint8_t* request, size_t length, const SntpPeer& client);

    SntpTestSocket socket_;
    SntpTestSocket other_;
    mutable std::mutex mutex_;
    SntpServerBehaviour behaviour_;
    std::vector<std::vector<uint8_t>> requests_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// The NTP timestamp of a moment in microseconds since 1970 (this era).
uint64_t SntpTimestampOfUnixMicros(int64_t unixMicros);

}  // namespace kelvra::test
