#include "common/SntpTestSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace kelvra::test {

SntpTestSocket::SntpTestSocket() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (fd < 0) return;
    handle_ = fd;
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    local.sin_port = 0;
    socklen_t length = sizeof local;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) return;
    port_ = ntohs(local.sin_port);
    ok_ = true;
}

SntpTestSocket::~SntpTestSocket() {
    if (handle_ >= 0) ::close(int(handle_));
}

int SntpTestSocket::ReceiveFrom(uint8_t* buffer, size_t capacity, uint32_t timeoutMillis,
                                SntpPeer& from) {
    pollfd p{int(handle_), POLLIN, 0};
    if (::poll(&p, 1, int(timeoutMillis)) <= 0) return -1;
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const ssize_t got = ::recvfrom(int(handle_), buffer, capacity, 0,
                                   reinterpret_cast<sockaddr*>(&peer), &length);
    if (got < 0) return -1;
    from.address = peer.sin_addr.s_addr;
    from.port = peer.sin_port;
    return int(got);
}

bool SntpTestSocket::SendTo(const uint8_t* data, size_t length, const SntpPeer& to) {
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = to.address;
    peer.sin_port = to.port;
    return ::sendto(int(handle_), data, length, 0, reinterpret_cast<const sockaddr*>(&peer),
                    sizeof peer) == ssize_t(length);
}

uint16_t SntpClosedPort() {
    SntpTestSocket socket;
    return socket.port();
}

}  // namespace kelvra::test
