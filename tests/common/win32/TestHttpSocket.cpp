#include "common/TestHttpSocket.h"

#include <winsock2.h>
#include <ws2tcpip.h>

namespace kelvra::test::httpsock {
namespace {

bool StartWinsock() {
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    return started;
}

SOCKET Raw(Socket s) { return s == kNoSocket ? INVALID_SOCKET : SOCKET(s); }
Socket Wrap(SOCKET s) { return s == INVALID_SOCKET ? kNoSocket : Socket(s); }

bool ReadableWithin(Socket s, int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(Raw(s), &set);
    timeval tv{ms / 1000, (ms % 1000) * 1000};
    return select(0, &set, nullptr, nullptr, &tv) > 0;
}

}  // namespace

Socket ListenLoopback(uint16_t& port) {
    if (!StartWinsock()) return kNoSocket;
    SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) return kNoSocket;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    int len = sizeof(addr);
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 || listen(s, 16) != 0 ||
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
        closesocket(s);
        return kNoSocket;
    }
    port = ntohs(addr.sin_port);
    return Wrap(s);
}

Socket AcceptWithin(Socket listener, int ms) {
    if (!ReadableWithin(listener, ms)) return kNoSocket;
    return Wrap(accept(Raw(listener), nullptr, nullptr));
}

int RecvWithin(Socket s, char* buffer, int length, int ms) {
    if (!ReadableWithin(s, ms)) return -2;
    const int n = recv(Raw(s), buffer, length, 0);
    return n < 0 ? -1 : n;
}

bool SendAll(Socket s, const std::string& data) {
    size_t sent = 0;
    while (sent < data.size()) {
        const int n = send(Raw(s), data.data() + sent, int(data.size() - sent), 0);
        if (n <= 0) return false;
        sent += size_t(n);
    }
    return true;
}

void ShutdownSend(Socket s) { shutdown(Raw(s), SD_SEND); }

void Close(Socket s) {
    if (s != kNoSocket) closesocket(Raw(s));
}

}  // namespace kelvra::test::httpsock
