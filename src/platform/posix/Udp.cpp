#include "platform/Udp.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Clock.h"

namespace kelvra::platform {
namespace {

// Datagrams up to this size are read whole; the caller keeps the bytes it has room for.
constexpr size_t kReceiveBufferBytes = 1024;

class Socket {
public:
    Socket() : fd_(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
    ~Socket() {
        if (fd_ >= 0) ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool ResolveIpv4(const std::string& host, in_addr& out) {
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    hints.ai_protocol = IPPROTO_UDP;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return false;
    out = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
    ::freeaddrinfo(found);
    return true;
}

void SetTimeout(int fd, int option, uint32_t millis) {
    timeval tv{};
    tv.tv_sec = time_t(millis / 1000);
    tv.tv_usec = suseconds_t((millis % 1000) * 1000);
    ::setsockopt(fd, SOL_SOCKET, option, &tv, sizeof tv);
}

class PosixUdp final : public IUdpExchange {
public:
    UdpExchangeResult Exchange(const std::string& host, uint16_t port, const uint8_t* request,
                               size_t requestLength, uint8_t* reply, size_t replyCapacity,
                               uint32_t timeoutMillis) override {
        UdpExchangeResult result;
        Socket socket;
        if (socket.fd() < 0) return result;

        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = htons(port);
        if (!ResolveIpv4(host, peer.sin_addr)) {
            result.status = UdpStatus::NoAddress;
            return result;
        }
        // Connected: the kernel drops datagrams from other senders and reports a closed port.
        if (::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            return result;
        }

        SetTimeout(socket.fd(), SO_SNDTIMEO, timeoutMillis);
        SetTimeout(socket.fd(), SO_RCVTIMEO, timeoutMillis);

        IClock& clock = SystemClock();
        result.sentMicros = clock.WallMicros();
        if (::send(socket.fd(), request, requestLength, 0) < 0) {
            result.status = errno == ECONNREFUSED ? UdpStatus::Refused : UdpStatus::SendError;
            return result;
        }

        uint8_t buffer[kReceiveBufferBytes];
        ssize_t received;
        do {
            received = ::recv(socket.fd(), buffer, sizeof buffer, 0);
        } while (received < 0 && errno == EINTR);
        result.receivedMicros = clock.WallMicros();
        if (received < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                result.status = UdpStatus::Timeout;
            } else if (errno == ECONNREFUSED) {
                result.status = UdpStatus::Refused;
            } else {
                result.status = UdpStatus::ReceiveError;
            }
            return result;
        }
        result.length = size_t(received) < replyCapacity ? size_t(received) : replyCapacity;
        std::memcpy(reply, buffer, result.length);
        result.status = UdpStatus::Ok;
        return result;
    }
};

}  // namespace

IUdpExchange& SystemUdp() {
    static PosixUdp udp;
    return udp;
}

}  // namespace kelvra::platform
