#include "common/TestHttpServer.h"

#include <chrono>

namespace kelvra::test {

uint16_t httpsock::UnusedLoopbackPort() {
    uint16_t port = 0;
    const Socket s = ListenLoopback(port);
    Close(s);
    return port;
}

TestHttpServer::TestHttpServer(TestHttpReply reply) : reply_(std::move(reply)) {
    listener_ = httpsock::ListenLoopback(port_);
    if (listener_ != httpsock::kNoSocket) thread_ = std::thread([this] { Serve(); });
}

TestHttpServer::~TestHttpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    httpsock::Close(listener_);
}

std::string TestHttpServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::string TestHttpServer::FirstRequest() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return firstRequest_;
}

std::string TestHttpServer::Response(int status, const std::string& headers, const std::string& body) {
    return "HTTP/1.0 " + std::to_string(status) + " X\r\n" + headers + "\r\n" + body;
}

void TestHttpServer::Serve() {
    while (!stop_) {
        const httpsock::Socket client = httpsock::AcceptWithin(listener_, 50);
        if (client == httpsock::kNoSocket) continue;
        ++connections_;
        Answer(client);
        httpsock::Close(client);
    }
}

void TestHttpServer::Answer(httpsock::Socket client) {
    std::string request;
    char buffer[2048];
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (request.find("\r\n\r\n") == std::string::npos && !stop_ &&
           std::chrono::steady_clock::now() < giveUp) {
        const int n = httpsock::RecvWithin(client, buffer, sizeof(buffer), 50);
        if (n == 0 || n == -1) return;
        if (n > 0) request.append(buffer, size_t(n));
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (firstRequest_.empty()) firstRequest_ = request;
    }
    for (size_t i = 0; i < reply_.chunks.size(); ++i) {
        if (i > 0 && reply_.pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(reply_.pauseMs));
        if (!httpsock::SendAll(client, reply_.chunks[i])) return;
    }
    if (reply_.holdOpen) {
        // Until the client gives up (or the test ends).
        while (!stop_) {
            const int n = httpsock::RecvWithin(client, buffer, sizeof(buffer), 50);
            if (n == 0 || n == -1) return;
        }
        return;
    }
    // Close gently: the client sees the end of the data, never a reset.
    httpsock::ShutdownSend(client);
    for (int i = 0; i < 20 && !stop_; ++i) {
        const int n = httpsock::RecvWithin(client, buffer, sizeof(buffer), 50);
        if (n == 0 || n == -1) break;
    }
}

}  // namespace kelvra::test
