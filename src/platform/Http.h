#pragma once
#include <cstdint>
#include <string>

namespace kelvra::platform {

// One HTTP/1.0 GET of `url` on the calling thread. Returns the response's status code when
// the exchange completed (the page filled), 0 when it ended early without a platform failure,
// -1 when the platform reported a failure; `page` is empty except after a completed exchange.
class IHttpTransport {
public:
    virtual ~IHttpTransport() = default;
    virtual int32_t FetchPage(const std::string& url, std::string& page) = 0;
};

IHttpTransport& SystemHttp();

}  // namespace kelvra::platform
