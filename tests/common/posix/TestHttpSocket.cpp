#include "common/TestHttpSocket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace kelvra::test::httpsock {

Socket ListenLoopback(uint16_t& port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return kNoSocket;
    const int one = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    socklen_t len = sizeof(addr);
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        close(s);
        return kNoSocket;
    }
    port = ntohs(addr.sin_port);
    return s;
}

static bool ReadableWithin(Socket s, int ms) {
    pollfd p{int(s), POLLIN, 0};
    int rc;
    do rc = poll(&p, 1, ms);
    while (rc < 0 && errno == EINTR);
    return rc > 0;
}

Socket AcceptWithin(Socket listener, int ms) {
    if (!ReadableWithin(listener, ms)) return kNoSocket;
    const int c = accept4(int(listener), nullptr, nullptr, SOCK_CLOEXEC);
    return c < 0 ? kNoSocket : c;
}

int RecvWithin(Socket s, char* buffer, int length, int ms) {
    if (!ReadableWithin(s, ms)) return -2;
    const ssize_t n = recv(int(s), buffer, size_t(length), 0);
    return n < 0 ? -1 : int(n);
}

bool SendAll(Socket s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const ssize_t n = send(int(s), data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) return false;
        sent += size_t(n);
    }
    return true;
}

void ShutdownSend(Socket s) { shutdown(int(s), SHUT_WR); }

void Close(Socket s) {
    if (s != kNoSocket) close(int(s));
}

}  // namespace kelvra::test::httpsock
