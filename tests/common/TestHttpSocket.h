#pragma once
#include <cstdint>
#include <string>

// A few blocking TCP calls on 127.0.0.1 for the test HTTP server; one implementation per OS.
namespace kelvra::test::httpsock {

using Socket = intptr_t;
constexpr Socket kNoSocket = -1;

// A listening socket on 127.0.0.1:`port` (0 = an ephemeral port, written back).
Socket ListenLoopback(uint16_t& port);
// A connection, or kNoSocket when none arrived within `ms`.
Socket AcceptWithin(Socket listener, int ms);
// Bytes received (> 0), 0 when the peer closed, -1 on error, -2 when nothing came within `ms`.
int RecvWithin(Socket s, char* buffer, int length, int ms);
bool SendAll(Socket s, const std::string& data);
void ShutdownSend(Socket s);
void Close(Socket s);
// A loopback port on which nothing listens (bound once, then released).
uint16_t UnusedLoopbackPort();

}  // namespace kelvra::test::httpsock
