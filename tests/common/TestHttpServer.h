#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/TestHttpSocket.h"

namespace kelvra::test {

// What the test server sends on every connection, once it has read the request's headers:
// the chunks in order with a pause between them, then it closes the connection, or holds it
// open until the client goes away (no chunks and holdOpen: accepts and never answers).
struct TestHttpReply {
    std::vector<std::string> chunks;
    uint32_t pauseMs = 0;
    bool holdOpen = false;
};

// A canned HTTP server on 127.0.0.1, on an ephemeral port, serving connections one at a time.
class TestHttpServer {
public:
    explicit TestHttpServer(TestHttpReply reply);
    ~TestHttpServer();
    TestHttpServer(const TestHttpServer&) = delete;
    TestHttpServer& operator=(const TestHttpServer&) = delete;

    uint16_t Port() const { return port_; }
    std::string Url(const std::string& path = "/other/gettime.asp") const;
    int Connections() const { return connections_.load(); }
    std::string FirstRequest() const;

    // A complete response: status line, the given headers, a blank line and the body.
    static std::string Response(int status, const std::string& headers, const std::string& body);

private:
    void Serve();
    void Answer(httpsock::Socket client);

    TestHttpReply reply_;
    uint16_t port_ = 0;
    httpsock::Socket listener_ = httpsock::kNoSocket;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    mutable std::mutex mutex_;
    std::string firstRequest_;
    std::thread thread_;
};

}  // namespace kelvra::test
