#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

namespace kelvra::platform {

enum class UdpStatus {
    Ok,
    NoAddress,    // the name lookup found no IPv4 address
    SocketError,  // the socket layer could not be started, no socket opened, or no connect
    SendError,
    Refused,      // the peer's port is closed (ICMP port unreachable on the connected socket)
    Timeout,      // no datagram within the receive time-out
    ReceiveError,
};

struct UdpExchangeResult {
    UdpStatus status = UdpStatus::SocketError;
    size_t length = 0;           // bytes of the reply copied into the caller's buffer
    int64_t sentMicros = 0;      // wall clock right before the send (T1)
    int64_t receivedMicros = 0;  // wall clock right after the receive (T4)
};

// One request/reply exchange over a UDP socket connected to host:port, so that only the
// peer's datagrams are read. `host` is a dotted IPv4 address or a host name (IPv4 lookup).
// `timeoutMillis` bounds the send and, separately, the receive. A reply longer than
// `replyCapacity` is not an error: its first `replyCapacity` bytes are kept.
class IUdpExchange {
public:
    virtual ~IUdpExchange() = default;
    virtual UdpExchangeResult Exchange(const std::string& host, uint16_t port,
                                       const uint8_t* request, size_t requestLength,
                                       uint8_t* reply, size_t replyCapacity,
                                       uint32_t timeoutMillis) = 0;
};

IUdpExchange& SystemUdp();

}  // namespace kelvra::platform
