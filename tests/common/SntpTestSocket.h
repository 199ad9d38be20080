#pragma once
#include <cstddef>
#include <cstdint>

namespace kelvra::test {

// The address of a UDP peer, both fields in network order.
struct SntpPeer {
    uint32_t address = 0;
    uint16_t port = 0;
};

// A UDP socket bound to 127.0.0.1 on an ephemeral port, for the test SNTP server.
class SntpTestSocket {
public:
    SntpTestSocket();
    ~SntpTestSocket();
    SntpTestSocket(const SntpTestSocket&) = delete;
    SntpTestSocket& operator=(const SntpTestSocket&) = delete;

    bool ok() const { return ok_; }
    uint16_t port() const { return port_; }  // host order
    // Waits up to `timeoutMillis` for one datagram; its length, or -1 on time-out or error.
    int ReceiveFrom(uint8_t* buffer, size_t capacity, uint32_t timeoutMillis, SntpPeer& from);
    bool SendTo(const uint8_t* data, size_t length, const SntpPeer& to);

private:
    intptr_t handle_ = -1;
    uint16_t port_ = 0;
    bool ok_ = false;
};

// A port on 127.0.0.1 on which nothing listens (bound once, then closed).
uint16_t SntpClosedPort();

}  // namespace kelvra::test
