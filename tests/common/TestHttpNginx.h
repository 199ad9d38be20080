#pragma once
#include <cstdint>
#include <string>

namespace kelvra::test {

// A real nginx on 127.0.0.1, run from a private directory with a server configuration of
// ours, its `listen 80;` turned into an ephemeral loopback port. Stopped by its process id.
class TestHttpNginx {
public:
    TestHttpNginx() = default;
    ~TestHttpNginx();
    TestHttpNginx(const TestHttpNginx&) = delete;
    TestHttpNginx& operator=(const TestHttpNginx&) = delete;

    // Starts nginx with the server configuration at `siteConfPath`; false (with the reason in
    // Error()) when nginx is missing or does not come up within a few seconds.
    bool Start(const std::string& siteConfPath);
    uint16_t Port() const { return port_; }
    const std::string& Error() const { return error_; }

private:
    void Stop();

    std::string dir_;
    std::string error_;
    uint16_t port_ = 0;
    long pid_ = -1;
};

}  // namespace kelvra::test
