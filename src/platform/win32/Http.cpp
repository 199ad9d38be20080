// The HTTP page fetcher over WinINet: one GET per fetch with the system's configured proxy
// settings, "HTTP/1.0" named explicitly and the keep-connection request. Every failure of a
// WinINet call that opens something or moves data is a platform failure (-1); a missing or
// unusable answer to a query is an early end (0).
#include "platform/Http.h"

#include <windows.h>
#include <wininet.h>

#include <new>
#include <vector>

namespace kelvra::platform {
namespace {

// Closes a WinINet handle when it leaves scope, so every exit releases what was opened.
class InetHandle {
public:
    explicit InetHandle(HINTERNET handle) : handle_(handle) {}
    ~InetHandle() {
        if (handle_ != nullptr) InternetCloseHandle(handle_);
    }
    InetHandle(const InetHandle&) = delete;
    InetHandle& operator=(const InetHandle&) = delete;
    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

private:
    HINTERNET handle_;
};

struct ParsedUrl {
    std::string host;
    std::string object;
    INTERNET_PORT port = 0;
};

bool ParseUrl(const std::string& url, ParsedUrl& out) {
    std::vector<char> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    parts.lpszHostName = host.data();
    parts.dwHostNameLength = DWORD(host.size());
    parts.lpszUrlPath = path.data();
    parts.dwUrlPathLength = DWORD(path.size());
    parts.lpszExtraInfo = extra.data();
    parts.dwExtraInfoLength = DWORD(extra.size());
    if (!InternetCrackUrlA(url.c_str(), DWORD(url.size()), 0, &parts)) return false;
    out.host.assign(host.data(), parts.dwHostNameLength);
    out.object.assign(path.data(), parts.dwUrlPathLength);
    out.object.append(extra.data(), parts.dwExtraInfoLength);
    if (out.object.empty()) out.object = "/";
    out.port = parts.nPort != 0 ? parts.nPort : INTERNET_PORT(INTERNET_DEFAULT_HTTP_PORT);
    return !out.host.empty();
}

void SetTimeout(HINTERNET handle, DWORD option, DWORD milliseconds) {
    InternetSetOptionA(handle, option, &milliseconds, sizeof(milliseconds));
}

// The raw Content-Length text must be a plain decimal number no larger than `limit`. This
// catches what the numeric query hides: values beyond 32 bits, or text that is not a number.
bool DeclaredLengthAcceptable(HINTERNET request, uint32_t limit) {
    char text[64] = {};
    DWORD size = sizeof(text) - 1;
    if (!HttpQueryInfoA(request, HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return false;
    DWORD begin = 0, end = size;
    while (begin < end && (text[begin] == ' ' || text[begin] == '\t')) ++begin;
    while (end > begin && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    if (begin == end) return false;
    unsigned long long value = 0;
    for (DWORD i = begin; i < end; ++i) {
        if (text[i] < '0' || text[i] > '9') return false;
        value = value * 10 + unsigned(text[i] - '0');
        if (value > limit) return false;
    }
    return true;
}

class WinInetHttp final : public IHttpTransport {
public:
    explicit WinInetHttp(const HttpLimits& limits) : limits_(limits) {}

    int32_t FetchPage(const std::string& url, std::string& page) override {
        page.clear();
        ParsedUrl target;
        if (!ParseUrl(url, target)) return 0;
        try {
            return Exchange(target, page);
        } catch (const std::bad_alloc&) {
            page.clear();
            return -1;
        }
    }

private:
    int32_t Exchange(const ParsedUrl& target, std::string& page) {
        const ULONGLONG deadline = GetTickCount64() + limits_.exchangeTimeoutMs;

        InetHandle session(InternetOpenA(nullptr, INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
        if (!session) return -1;
        SetTimeout(session.get(), INTERNET_OPTION_CONNECT_TIMEOUT, limits_.connectTimeoutMs);
        SetTimeout(session.get(), INTERNET_OPTION_SEND_TIMEOUT, limits_.exchangeTimeoutMs);
        SetTimeout(session.get(), INTERNET_OPTION_RECEIVE_TIMEOUT, limits_.exchangeTimeoutMs);

        InetHandle connection(InternetConnectA(session.get(), target.host.c_str(), target.port, nullptr,
                                               nullptr, INTERNET_SERVICE_HTTP,
                                               INTERNET_FLAG_KEEP_CONNECTION, 1));
        if (!connection) return -1;

        // A time page must never come from a cache.
        const DWORD flags = INTERNET_FLAG_KEEP_CONNECTION | INTERNET_FLAG_RELOAD | INTERNET_FLAG_NO_CACHE_WRITE;
        InetHandle request(HttpOpenRequestA(connection.get(), "GET", target.object.c_str(), "HTTP/1.0",
                                            nullptr, nullptr, flags, 0));
        if (!request) return -1;

        if (!HttpSendRequestA(request.get(), nullptr, 0, nullptr, 0)) return -1;

        DWORD declared = 0;
        DWORD size = sizeof(declared);
        if (!HttpQueryInfoA(request.get(), HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &declared,
                            &size, nullptr))
            return 0;
        if (declared > limits_.maxBodyBytes || !DeclaredLengthAcceptable(request.get(), limits_.maxBodyBytes))
            return 0;

        DWORD status = 0;
        size = sizeof(status);
        if (!HttpQueryInfoA(request.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                            nullptr))
            return 0;

        std::string body(declared, '\0');
        DWORD got = 0;
        while (got < declared) {
            if (GetTickCount64() > deadline) return -1;
            DWORD read = 0;
            if (!InternetReadFile(request.get(), &body[got], declared - got, &read)) return -1;
            if (read == 0) break;  // the connection ended before the declared length
            got += read;
        }
        body.resize(got);
        const size_t zero = body.find('\0');
        if (zero != std::string::npos) body.resize(zero);
        page = std::move(body);
        return int32_t(status);
    }

    HttpLimits limits_;
};

}  // namespace

std::unique_ptr<IHttpTransport> MakeSystemHttp(const HttpLimits& limits) {
    return std::make_unique<WinInetHttp>(limits);
}

IHttpTransport& SystemHttp() {
    static WinInetHttp http{HttpLimits{}};
    return http;
}

}  // namespace kelvra::platform
