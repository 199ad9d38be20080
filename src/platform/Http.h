#pragma once
#include <cstdint>
#include <memory>
#include <string>

namespace kelvra::platform {

// One HTTP/1.0 GET of `url` on the calling thread. Returns the response's status code when
// the exchange completed (the page filled), 0 when it ended early without a platform failure,
// -1 when the platform reported a failure; `page` is empty except after a completed exchange.
//
// A completed exchange needs a Content-Length header (read before the status code) of at most
// HttpLimits::maxBodyBytes; the body is read until that many bytes arrived or the connection
// ended, and the page is the body up to its first zero byte.
class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;
    virtual int32_t FetchPage(const std::string& url, std::string& page) = 0;
};

// Bounds of one fetch, so that a server that accepts and never answers cannot hold the
// caller for good.
struct HttpLimits {
    uint32_t connectTimeoutMs = 10000;   // name lookup and TCP connection
    uint32_t exchangeTimeoutMs = 30000;  // the whole exchange, connection included
    uint32_t maxBodyBytes = 1024 * 1024; // a larger declared Content-Length is refused (status 0)
};

// The platform's HTTP client with the given limits (WinINet on Windows, libcurl on Linux).
std::unique_ptr<IHttpTransport> MakeSystemHttp(const HttpLimits& limits);

// The process-wide client with the default limits.
IHttpTransport& SystemHttp();

}  // namespace kelvra::platform
