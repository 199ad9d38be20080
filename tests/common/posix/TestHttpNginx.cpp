#include "common/TestHttpNginx.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include "common/TestHttpSocket.h"

namespace kelvra::test {
namespace {

bool Accepts(uint16_t port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0) return false;
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(port);
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) == 0;
    close(s);
    return ok;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

TestHttpNginx::~TestHttpNginx() { Stop(); }

bool TestHttpNginx::Start(const std::string& siteConfPath) {
    namespace fs = std::filesystem;
    std::string site = ReadAll(siteConfPath);
    const std::string listen = "listen 80;";
    const size_t at = site.find(listen);
    if (site.empty() || at == std::string::npos) {
        error_ = "no '" + listen + "' in " + siteConfPath;
        return false;
    }
    port_ = httpsock::UnusedLoopbackPort();
    site.replace(at, listen.size(), "listen 127.0.0.1:" + std::to_string(port_) + ";");

    char pattern[] = "/tmp/kelvra-nginx-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        error_ = "no temporary directory";
        return false;
    }
    dir_ = pattern;
    std::ofstream(dir_ + "/site.conf") << site;
    std::ofstream(dir_ + "/nginx.conf")
        << "daemon off;\nmaster_process off;\npid " << dir_ << "/nginx.pid;\nerror_log " << dir_
        << "/error.log;\nevents { worker_connections 16; }\nhttp {\n  access_log off;\n"
        << "  client_body_temp_path " << dir_ << "/body;\n  proxy_temp_path " << dir_ << "/proxy;\n"
        << "  fastcgi_temp_path " << dir_ << "/fastcgi;\n  uwsgi_temp_path " << dir_ << "/uwsgi;\n"
        << "  scgi_temp_path " << dir_ << "/scgi;\n  include " << dir_ << "/site.conf;\n}\n";

    const std::string conf = dir_ + "/nginx.conf";
    const std::string errorLog = dir_ + "/error.log";
    const pid_t child = fork();
    if (child == 0) {
        const char* candidates[] = {"/usr/sbin/nginx", "nginx"};
        for (const char* nginx : candidates) {
            execlp(nginx, nginx, "-p", dir_.c_str(), "-c", conf.c_str(), "-e", errorLog.c_str(), (char*)nullptr);
        }
        _exit(127);
    }
    if (child < 0) {
        error_ = "fork failed";
        return false;
    }
    pid_ = child;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < giveUp) {
        if (Accepts(port_)) return true;
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            pid_ = -1;
            error_ = "nginx ended: " + ReadAll(errorLog);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    error_ = "nginx did not come up: " + ReadAll(errorLog);
    return false;
}

void TestHttpNginx::Stop() {
    if (pid_ > 0) {
        kill(pid_t(pid_), SIGTERM);
        int status = 0;
        waitpid(pid_t(pid_), &status, 0);
        pid_ = -1;
    }
    if (!dir_.empty()) {
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
        dir_.clear();
    }
}

}  // namespace kelvra::test
