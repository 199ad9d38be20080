// The HTTP page fetcher over libcurl: one GET per fetch, HTTP/1.0 with a keep-alive request,
// the proxy taken from the environment (http_proxy, no_proxy), as the system's setting.
#include "platform/Http.h"

#include <curl/curl.h>

#include "platform/portable/HttpResponse.h"

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

// What the callbacks see of one response, judged by our portable reader.
struct Exchange {
    CURL* curl = nullptr;
    http::ResponseReader reader;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const size_t n = size * count;
    const bool goOn = ex.reader.OnHeaderLine(data, n, [&ex] {
        long code = 0;
        curl_easy_getinfo(ex.curl, CURLINFO_RESPONSE_CODE, &code);
        return code;
    });
    return goOn ? n : 0;
}

size_t OnBody(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const size_t n = size * count;
    return ex.reader.OnBody(data, n) ? n : 0;
}

class CurlHttp final : public IHttpTransport {
public:
    explicit CurlHttp(const HttpLimits& limits) : limits_(limits) { InitCurlOnce(); }

    int32_t FetchPage(const std::string& url, std::string& page) override {
        page.clear();
        // An empty authority ("http:///path") is no host at all, never a path taken as one.
        const size_t scheme = url.find("://");
        if (scheme == std::string::npos || scheme + 3 >= url.size() || url[scheme + 3] == '/') return 0;
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

        Exchange ex{easy.handle, http::ResponseReader(limits_.maxBodyBytes)};
        CURL* c = easy.handle;
        curl_easy_setopt(c, CURLOPT_CURLU, parsed.handle);
        curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
        curl_easy_setopt(c, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        curl_easy_setopt(c, CURLOPT_HTTPGET, 1L);
        // We judge the Content-Length ourselves and read the body up to it (see OnHeader, OnBody).
        curl_easy_setopt(c, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        curl_easy_setopt(c, CURLOPT_HTTPHEADER, easy.headers);
        curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // we run on a worker's fetch thread
        curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(limits_.connectTimeoutMs));
        curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, long(limits_.exchangeTimeoutMs));
        curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
        curl_easy_setopt(c, CURLOPT_HEADERDATA, &ex);
        curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
        curl_easy_setopt(c, CURLOPT_WRITEDATA, &ex);

        const CURLcode rc = curl_easy_perform(c);
        // Ending the transfer from a callback shows as a write error; the reader knows why.
        return ex.reader.Finish(rc == CURLE_OK, page);
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
