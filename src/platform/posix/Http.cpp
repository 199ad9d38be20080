// The HTTP page fetcher over libcurl: one GET per fetch, HTTP/1.0 with a keep-alive request,
// the proxy taken from the environment (http_proxy, no_proxy), as the system's setting.
#include "platform/Http.h"

#include <curl/curl.h>

#include <cctype>
#include <cstring>

namespace kelvra::platform {
namespace {

void InitCurlOnce() {
    static const bool initialised = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
    (void)initialised;
}

struct CurlUrl {
    CURLU* handle = curl_url();
    ~CurlUrl() { curl_url_cleanup(handle); }
    std::string Part(CURLUPart part, unsigned flags = 0) const {
        char* text = nullptr;
        if (curl_url_get(handle, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
        std::string result(text);
        curl_free(text);
        return result;
    }
};

struct CurlEasy {
    CURL* handle = curl_easy_init();
    curl_slist* headers = nullptr;
    ~CurlEasy() {
        curl_easy_cleanup(handle);
        curl_slist_free_all(headers);
    }
};

// What the header and body callbacks learn of one response.
struct Exchange {
    CURL* curl = nullptr;
    uint32_t maxBody = 0;
    bool lengthSeen = false;
    bool lengthValid = false;
    uint64_t declared = 0;
    bool headersDone = false;
    bool refused = false;  // ended by us: no usable Content-Length, or too large
    long status = 0;
    std::string body;
};

bool EqualsNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// Content-Length as an unsigned number of digits (blanks around it allowed); anything else
// leaves it invalid. Values beyond 64 bits saturate, which is refused as too large anyway.
void ParseContentLength(Exchange& ex, const char* value, size_t n) {
    size_t i = 0;
    while (i < n && (value[i] == ' ' || value[i] == '\t')) ++i;
    size_t end = n;
    while (end > i && std::isspace(static_cast<unsigned char>(value[end - 1]))) --end;
    ex.lengthSeen = true;
    ex.lengthValid = end > i;
    uint64_t number = 0;
    for (size_t k = i; k < end; ++k) {
        const char c = value[k];
        if (c < '0' || c > '9') {
            ex.lengthValid = false;
            return;
        }
        number = number > (UINT64_MAX - 9) / 10 ? UINT64_MAX : number * 10 + uint64_t(c - '0');
    }
    ex.declared = number;
}

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const size_t n = size * count;
    static const char kName[] = "Content-Length:";
    const size_t nameLen = sizeof(kName) - 1;
    if (n >= 4 && std::memcmp(data, "HTTP", 4) == 0) {
        // A new status line: a fresh header block (after an interim 1xx response).
        ex.lengthSeen = ex.lengthValid = false;
        ex.declared = 0;
    } else if (n > nameLen && EqualsNoCase(data, kName, nameLen)) {
        ParseContentLength(ex, data + nameLen, n - nameLen);
    } else if (n <= 2 && (n == 0 || data[0] == '\r' || data[0] == '\n')) {
        long code = 0;
        curl_easy_getinfo(ex.curl, CURLINFO_RESPONSE_CODE, &code);
        if (code >= 100 && code < 200) return n;  // interim response; the real one follows
        ex.headersDone = true;
        // The length is judged before the status code is taken.
        if (!ex.lengthSeen || !ex.lengthValid || ex.declared > ex.maxBody) {
            ex.refused = true;
            return 0;  // ends the transfer before any of the body is read
        }
        ex.status = code;
        ex.body.reserve(size_t(ex.declared));
    }
    return n;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const size_t n = size * count;
    const uint64_t room = ex.declared - ex.body.size();
    ex.body.append(data, size_t(n < room ? n : room));
    return n;
}

class CurlHttp final : public IHttpTransport {
public:
    explicit CurlHttp(const HttpLimits& limits) : limits_(limits) { InitCurlOnce(); }

    int32_t FetchPage(const std::string& url, std::string& page) override {
        page.clear();
        CurlUrl parsed;
        if (parsed.handle == nullptr) return -1;
        if (curl_url_set(parsed.handle, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
            return 0;
        const std::string host = parsed.Part(CURLUPART_HOST);
        if (host.empty()) return 0;
        // The exchange is always HTTP, to the port the URL names (80 when an http URL names none).
        const std::string port = parsed.Part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
        if (curl_url_set(parsed.handle, CURLUPART_SCHEME, "http", 0) != CURLUE_OK) return 0;
        if (!port.empty() && curl_url_set(parsed.handle, CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK)
            return 0;

        CurlEasy easy;
        if (easy.handle == nullptr) return -1;
        easy.headers = curl_slist_append(nullptr, "Connection: Keep-Alive");
        if (easy.headers == nullptr) return -1;

        Exchange ex;
        ex.curl = easy.handle;
        ex.maxBody = limits_.maxBodyBytes;
        CURL* c = easy.handle;
        curl_easy_setopt(c, CURLOPT_CURLU, parsed.handle);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, easy.headers);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // we run on a worker's fetch thread
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(limits_.connectTimeoutMs));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(limits_.exchangeTimeoutMs));
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &ex);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &ex);

        const CURLcode rc = curl_easy_perform(c);
        if (ex.refused) return 0;
        // A connection that ends before the declared length still completes the exchange.
        if ((rc != CURLE_OK && rc != CURLE_PARTIAL_FILE) || !ex.headersDone) return -1;

        const size_t zero = ex.body.find('\0');
        if (zero != std::string::npos) ex.body.resize(zero);
        page = std::move(ex.body);
        return int32_t(ex.status);
    }

private:
    HttpLimits limits_;
};

}  // namespace

std::unique_ptr<IHttpTransport> MakeSystemHttp(const HttpLimits& limits) {
    return std::make_unique<CurlHttp>(limits);
}

IHttpTransport& SystemHttp() {
    static CurlHttp http{HttpLimits{}};
    return http;
}

}  // namespace kelvra::platform
