#include "common/SntpTestSocket.h"

#include <winsock2.h>

namespace kelvra::test {

SntpTestSocket::SntpTestSocket() {
    WSADATA data{};
    if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return;
    const SOCKET s = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (s == INVALID_SOCKET) return;
    handle_ = intptr_t(s);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = 0;
    int length = sizeof local;
    if (::bind(s, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return;
    if (::getsockname(s, reinterpret_cast<sockaddr*>(&local), &length) != 0) return;
    port_ = ntohs(local.sin_port);
    ok_ = true;
}

SntpTestSocket::~SntpTestSocket() {
    if (handle_ != -1) ::closesocket(SOCKET(handle_));
    ::WSACleanup();
}

int SntpTestSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, uint32_t timeoutMillis,
                                SntpPeer& from) {
    const SOCKET s = SOCKET(handle_);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv{};
    tv.tv_sec = long(timeoutMillis / 1000);
    tv.tv_usec = long((timeoutMillis % 1000) * 1000);
    if (::select(0, &readable, nullptr, nullptr, &tv) <= 0) return -1;
    sockaddr_in peer{};
    int length = sizeof peer;
    const int got = ::recvfrom(s, reinterpret_cast<char*>(buffer), int(capacity), 0,
                               reinterpret_cast<sockaddr*>(&peer), &length);
    if (got == SOCKET_ERROR) return -1;  // e.g. WSAECONNRESET after a reply to a gone client
    from.address = peer.sin_addr.s_addr;
    from.port = peer.sin_port;
    return got;
}

bool SntpTestSocket::SendTo(const uint8_t* data, size_t length, const SntpPeer& to) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = to.address;
    peer.sin_port = to.port;
    return ::sendto(SOCKET(handle_), reinterpret_cast<const char*>(data), int(length), 0,
                    reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == int(length);
}

uint16_t SntpClosedPort() {
    SntpTestSocket socket;
    return socket.port();
}

}  // namespace kelvra::test
