#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace kelvra::platform::http {

// Content-Length as an unsigned number of digits, blanks around it allowed; false for anything
// else. Values beyond 64 bits saturate (and are refused as too large anyway).
bool ParseContentLength(const char* value, size_t n, uint64_t& number);

// Our judgement of one HTTP response, fed with what the client library hands over: the header
// lines one by one (status lines, fields, the blank line that ends a block), then the body in
// pieces. The library only moves the bytes; the length rules are ours.
class ResponseReader {
public:
    explicit ResponseReader(uint32_t maxBodyBytes) : maxBody_(maxBodyBytes) {}

    // One header line, line end included. `statusCode` is asked only at the blank line that ends
    // a header block. False ends the transfer: the length is missing, invalid or too large
    // (refused), or the declared length is zero (complete).
    bool OnHeaderLine(const char* data, size_t n, const std::function<long()>& statusCode);

    // A piece of the body; false ends the transfer once the declared length has arrived.
    bool OnBody(const char* data, size_t n);

    // The result of the exchange once the transfer ended, `transferOk` telling whether the
    // library saw it end without a failure: the status code with `page` filled, 0 when we refused
    // the response, -1 for a failure. `page` is the body up to its first zero byte, else empty.
    int32_t Finish(bool transferOk, std::string& page);

    bool Refused() const { return refused_; }
    bool Complete() const { return complete_; }
    uint64_t Declared() const { return declared_; }
    size_t BodySize() const { return body_.size(); }

private:
    uint32_t maxBody_;
    bool lengthSeen_ = false;
    bool lengthValid_ = false;
    uint64_t declared_ = 0;
    bool headersDone_ = false;
    bool refused_ = false;   // ended by us: no usable Content-Length, or too large
    bool complete_ = false;  // ended by us: the declared length has arrived
    long status_ = 0;
    std::string body_;
};

}  // namespace kelvra::platform::http
