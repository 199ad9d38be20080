#include "DelayRelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <deque>
#include <iterator>
#include <vector>

namespace kelvra::bench {
namespace {

using Clock = std::chrono::steady_clock;

struct Pending {
    Clock::time_point due;
    bool toUpstream = false;
    std::vector<uint8_t> data;
};

sockaddr_in Loopback(const std::string& address, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    addr.sin_port = htons(port);
    return addr;
}

}  // namespace

DelayRelay::~DelayRelay() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listen_ >= 0) close(listen_);
    if (upstream_ >= 0) close(upstream_);
}

bool DelayRelay::Start(const std::string& address, uint16_t port, uint16_t upstreamPort) {
    listen_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const int yes = 1;
    setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr = Loopback(address, port);
    if (listen_ < 0 || bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
        error_ = "cannot bind " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    if (upstreamPort != 0) {
        upstream_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in server = Loopback("127.0.0.1", upstreamPort);
        if (upstream_ < 0 || connect(upstream_, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
            error_ = std::string("cannot connect upstream: ") + std::strerror(errno);
            return false;
        }
    }
    thread_ = std::thread([this] { Run(); });
    return true;
}

void DelayRelay::Run() {
    std::deque<Pending> queue;  // in due order
    sockaddr_in client{};
    bool haveClient = false;
    uint8_t buffer[2048];
    while (!stop_) {
        const auto now = Clock::now();
        // Send what is due.
        while (!queue.empty() && queue.front().due <= Clock::now()) {
            const Pending& p = queue.front();
            if (p.toUpstream) {
                send(upstream_, p.data.data(), p.data.size(), 0);
            } else if (haveClient) {
                sendto(listen_, p.data.data(), p.data.size(), 0, reinterpret_cast<const sockaddr*>(&client),
                       sizeof client);
            }
            queue.pop_front();
        }
        auto wait = std::chrono::nanoseconds(std::chrono::milliseconds(50));
        if (!queue.empty()) wait = std::min(wait, std::chrono::nanoseconds(queue.front().due - now));
        if (wait.count() < 0) wait = std::chrono::nanoseconds(0);
        timespec timeout{time_t(wait.count() / 1000000000), long(wait.count() % 1000000000)};
        pollfd fds[2] = {{listen_, POLLIN, 0}, {upstream_, POLLIN, 0}};
        const int ready = ppoll(fds, upstream_ >= 0 ? 2 : 1, &timeout, nullptr);
        if (ready <= 0) continue;
        const auto arrived = Clock::now();
        if (fds[0].revents & POLLIN) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof from;
            const ssize_t n = recvfrom(listen_, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n > 0 && upstream_ >= 0) {
                client = from;
                haveClient = true;
                const auto due = arrived + std::chrono::microseconds(outMicros_.load());
                queue.push_back({due, true, std::vector<uint8_t>(buffer, buffer + n)});
            }
        }
        if (upstream_ >= 0 && (fds[1].revents & POLLIN)) {
            const ssize_t n = recv(upstream_, buffer, sizeof buffer, 0);
            if (n > 0) {
                const auto due = arrived + std::chrono::microseconds(backMicros_.load());
                // Keep the queue in due order: a reply may fall due before a request still held.
                auto at = queue.end();
                while (at != queue.begin() && std::prev(at)->due > due) --at;
                queue.insert(at, {due, false, std::vector<uint8_t>(buffer, buffer + n)});
            }
        }
    }
}

}  // namespace kelvra::bench
