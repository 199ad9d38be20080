#include "platform/portable/HttpResponse.h"

#include <cstring>
#include <utility>

namespace kelvra::platform::http {
namespace {

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool EqualsNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
    }
    return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

}  // namespace

bool ParseContentLength(const char* value, size_t n, uint64_t& number) {
    size_t i = 0;
    while (i < n && (value[i] == ' ' || value[i] == '\t')) ++i;
    size_t end = n;
    while (end > i && IsSpace(value[end - 1])) --end;
    number = 0;
    if (end == i) return false;
    for (size_t k = i; k < end; ++k) {
        const char c = value[k];
        if (c < '0' || c > '9') return false;
        number = number > (UINT64_MAX - 9) / 10 ? UINT64_MAX : number * 10 + uint64_t(c - '0');
    }
    return true;
}

bool ResponseReader::OnHeaderLine(const char* data, size_t n, const std::function<long()>& statusCode) {
    static const char kName[] = "Content-Length:";
    const size_t nameLen = sizeof(kName) - 1;
    if (n >= 4 && std::memcmp(data, "HTTP", 4) == 0) {
        // A new status line: a fresh header block (after an interim 1xx response).
        lengthSeen_ = lengthValid_ = false;
        declared_ = 0;
    } else if (n > nameLen && EqualsNoCase(data, kName, nameLen)) {
        lengthSeen_ = true;
        uint64_t number = 0;
        lengthValid_ = ParseContentLength(data + nameLen, n - nameLen, number);
        declared_ = lengthValid_ ? number : 0;
    } else if (n <= 2 && (n == 0 || data[0] == '\r' || data[0] == '\n')) {
        const long code = statusCode ? statusCode() : 0;
        if (code >= 100 && code < 200) return true;  // interim response; the real one follows
        headersDone_ = true;
        // The length is judged before the status code is taken.
        if (!lengthSeen_ || !lengthValid_ || declared_ > maxBody_) {
            refused_ = true;
            return false;  // ends the transfer before any of the body is read
        }
        status_ = code;
        body_.reserve(size_t(declared_));
        if (declared_ == 0) {
            complete_ = true;
            return false;  // nothing to read; do not wait for the server to close
        }
    }
    return true;
}

bool ResponseReader::OnBody(const char* data, size_t n) {
    const uint64_t room = declared_ - body_.size();
    body_.append(data, size_t(n < room ? n : room));
    if (body_.size() < declared_) return true;
    complete_ = true;
    return false;  // the declared length has arrived: stop here, whatever else the server sends
}

int32_t ResponseReader::Finish(bool transferOk, std::string& page) {
    page.clear();
    if (refused_) return 0;
    // A connection that ends before the declared length still completes the exchange.
    if (!complete_ && (!transferOk || !headersDone_)) return -1;
    const size_t zero = body_.find('\0');
    if (zero != std::string::npos) body_.resize(zero);
    page = std::move(body_);
    body_.clear();
    return int32_t(status_);
}

}  // namespace kelvra::platform::http
