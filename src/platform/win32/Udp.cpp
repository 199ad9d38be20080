#include "platform/Udp.h"

#include <winsock2.h>

#include <cstring>

#include "platform/Clock.h"

namespace kelvra::platform {
namespace {

// Datagrams up to this size are read whole; the caller keeps the bytes it has room for.
constexpr int kReceiveBufferBytes = 1024;
constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

// The socket layer is started for one exchange and released with it.
class WinsockSession {
public:
    WinsockSession() {
        WSADATA data{};
        started_ = ::WSAStartup(kWinsockVersion, &data) == 0;
        usable_ = started_ && data.wVersion == kWinsockVersion;
    }
    ~WinsockSession() {
        if (started_) ::WSACleanup();
    }
    WinsockSession(const WinsockSession&) = delete;
    WinsockSession& operator=(const WinsockSession&) = delete;
    bool usable() const { return usable_; }

private:
    bool started_ = false;
    bool usable_ = false;
};

class Socket {
public:
    Socket() : s_(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP)) {}
    ~Socket() {
        if (s_ != INVALID_SOCKET) ::closesocket(s_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    SOCKET get() const { return s_; }

private:
    SOCKET s_;
};

bool ResolveIpv4(const std::string& host, in_addr& out) {
    const unsigned long dotted = ::inet_addr(host.c_str());
    if (dotted != INADDR_NONE) {
        out.s_addr = dotted;
        return true;
    }
    const hostent* entry = ::gethostbyname(host.c_str());
    if (entry == nullptr || entry->h_addrtype != AF_INET || entry->h_addr_list == nullptr ||
        entry->h_addr_list[0] == nullptr) {
        return false;
    }
    std::memcpy(&out, entry->h_addr_list[0], sizeof out);
    return true;
}

void SetTimeout(SOCKET s, int option, uint32_t millis) {
    const DWORD value = millis;
    ::setsockopt(s, SOL_SOCKET, option, reinterpret_cast<const char*>(&value), sizeof value);
}

bool IsRefusal(int error) { return error == WSAECONNRESET || error == WSAECONNREFUSED; }

int PendingError(SOCKET s) {
    int error = 0;
    int length = sizeof error;
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) return 0;
    return error;
}

enum class Wait { Readable, Refused, Timeout };

// Waits for the reply in short slices. Windows itself makes the socket readable when an ICMP
// port-unreachable arrives (recv then reports WSAECONNRESET); Wine only records the error on
// the socket, so it is looked for between the slices.
Wait WaitForReply(SOCKET s, uint32_t timeoutMillis) {
    constexpr uint32_t kSliceMillis = 50;
    const ULONGLONG deadline = ::GetTickCount64() + timeoutMillis;
    for (;;) {
        const ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return Wait::Timeout;
        const ULONGLONG left = deadline - now;
        const uint32_t slice = left < kSliceMillis ? uint32_t(left) : kSliceMillis;
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(s, &readable);
        timeval tv{};
        tv.tv_usec = long(slice) * 1000;
        const int ready = ::select(0, &readable, nullptr, nullptr, &tv);
        if (ready > 0) return Wait::Readable;
        if (ready == SOCKET_ERROR) return Wait::Readable;  // let recv report it
        if (IsRefusal(PendingError(s))) return Wait::Refused;
    }
}

class Win32Udp final : public IUdpExchange {
public:
    UdpExchangeResult Exchange(const std::string& host, uint16_t port, const uint8_t* request,
                               size_t requestLength, uint8_t* reply, size_t replyCapacity,
                               uint32_t timeoutMillis) override {
        UdpExchangeResult result;
        WinsockSession session;
        if (!session.usable()) return result;
        Socket socket;
        if (socket.get() == INVALID_SOCKET) return result;

        sockaddr_in peer{};
        peer.sin_family = AF_INET;
        peer.sin_port = ::htons(port);
        if (!ResolveIpv4(host, peer.sin_addr)) {
            result.status = UdpStatus::NoAddress;
            return result;
        }
        // Connected: only the peer's datagrams are read, and a closed port is reported
        // (WSAECONNRESET) instead of waiting out the time-out.
        if (::connect(socket.get(), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) != 0) {
            return result;
        }

        SetTimeout(socket.get(), SO_SNDTIMEO, timeoutMillis);
        IClock& clock = SystemClock();
        result.sentMicros = clock.WallMicros();
        if (::send(socket.get(), reinterpret_cast<const char*>(request), int(requestLength), 0) ==
            SOCKET_ERROR) {
            result.status = IsRefusal(::WSAGetLastError()) ? UdpStatus::Refused : UdpStatus::SendError;
            return result;
        }

        SetTimeout(socket.get(), SO_RCVTIMEO, timeoutMillis);
        const Wait wait = WaitForReply(socket.get(), timeoutMillis);
        if (wait != Wait::Readable) {
            result.status = wait == Wait::Refused ? UdpStatus::Refused : UdpStatus::Timeout;
            return result;
        }
        char buffer[kReceiveBufferBytes];
        int received = ::recv(socket.get(), buffer, sizeof buffer, 0);
        result.receivedMicros = clock.WallMicros();
        if (received == SOCKET_ERROR) {
            const int error = ::WSAGetLastError();
            if (error == WSAEMSGSIZE) {
                received = kReceiveBufferBytes;  // the buffer holds the datagram's first bytes
            } else {
                result.status = error == WSAETIMEDOUT ? UdpStatus::Timeout
                                : IsRefusal(error)    ? UdpStatus::Refused
                                                      : UdpStatus::ReceiveError;
                return result;
            }
        }
        result.length = size_t(received) < replyCapacity ? size_t(received) : replyCapacity;
        std::memcpy(reply, buffer, result.length);
        result.status = UdpStatus::Ok;
        return result;
    }
};

}  // namespace

IUdpExchange& SystemUdp() {
    static Win32Udp udp;
    return udp;
}

}  // namespace kelvra::platform
