// The HTTP page fetcher over libcurl: one GET per fetch, HTTP/1.0 with a keep-alive request,
// the proxy taken from the environment (http_proxy, no_proxy), as the system's setting.
#include "platform/Http.h"

#include "platform/portable/HttpResponse.h"
#include "platform/posix/CurlLibrary.h"

namespace kelvra::platform {
namespace {

struct CurlUrl {
    explicit CurlUrl(const curl::Api& api) : api(api), handle(api.url()) {}
    ~CurlUrl() { api.url_cleanup(handle); }
    std::string Part(CURLUPart part, unsigned flags = 0) const {
        char* text = nullptr;
        if (api.url_get(handle, part, &text, flags) != CURLUE_OK || text == nullptr) return {};
        std::string result(text);
        api.free(text);
        return result;
    }
    const curl::Api& api;
    CURLU* handle;
};

struct CurlEasy {
    explicit CurlEasy(const curl::Api& api) : api(api), handle(api.easy_init()) {}
    ~CurlEasy() {
        api.easy_cleanup(handle);
        api.slist_free_all(headers);
    }
    const curl::Api& api;
    CURL* handle;
    curl_slist* headers = nullptr;
};

// What the callbacks see of one response, judged by our portable reader.
struct Exchange {
    const curl::Api& api;
    CURL* curl = nullptr;
    http::ResponseReader reader;
};

size_t OnHeader(char* data, size_t size, size_t count, void* user) {
    auto& ex = *static_cast<Exchange*>(user);
    const size_t n = size * count;
    const bool goOn = ex.reader.OnHeaderLine(data, n, [&ex] {
        long code = 0;
        ex.api.easy_getinfo(ex.curl, CURLINFO_RESPONSE_CODE, &code);
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
    explicit CurlHttp(const HttpLimits& limits) : limits_(limits) {}

    int32_t FetchPage(const std::string& url, std::string& page) override {
        page.clear();
        // An empty authority ("http:///path") is no host at all, never a path taken as one.
        const size_t scheme = url.find("://");
        if (scheme == std::string::npos || scheme + 3 >= url.size() || url[scheme + 3] == '/') return 0;
        const curl::Api* api = curl::Load();
        if (api == nullptr) return -1;
        CurlUrl parsed(*api);
        if (parsed.handle == nullptr) return -1;
        if (api->url_set(parsed.handle, CURLUPART_URL, url.c_str(), CURLU_NON_SUPPORT_SCHEME) != CURLUE_OK)
            return 0;
        const std::string host = parsed.Part(CURLUPART_HOST);
        if (host.empty()) return 0;
        // The exchange is always HTTP, to the port the URL names (80 when an http URL names none).
        const std::string port = parsed.Part(CURLUPART_PORT, CURLU_DEFAULT_PORT);
        if (api->url_set(parsed.handle, CURLUPART_SCHEME, "http", 0) != CURLUE_OK) return 0;
        if (!port.empty() && api->url_set(parsed.handle, CURLUPART_PORT, port.c_str(), 0) != CURLUE_OK)
            return 0;

        CurlEasy easy(*api);
        if (easy.handle == nullptr) return -1;
        easy.headers = api->slist_append(nullptr, "Connection: Keep-Alive");
        if (easy.headers == nullptr) return -1;

        Exchange ex{*api, easy.handle, http::ResponseReader(limits_.maxBodyBytes)};
        CURL* c = easy.handle;
        api->easy_setopt(c, CURLOPT_CURLU, parsed.handle);
        api->easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http");
        api->easy_setopt(c, CURLOPT_HTTP_VERSION, long(CURL_HTTP_VERSION_1_0));
        api->easy_setopt(c, CURLOPT_HTTPGET, 1L);
        // We judge the Content-Length ourselves and read the body up to it (see OnHeader, OnBody).
        api->easy_setopt(c, CURLOPT_IGNORE_CONTENT_LENGTH, 1L);
        api->easy_setopt(c, CURLOPT_HTTPHEADER, easy.headers);
        api->easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // we run on a worker's fetch thread
        api->easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, long(limits_.connectTimeoutMs));
        api->easy_setopt(c, CURLOPT_TIMEOUT_MS, long(limits_.exchangeTimeoutMs));
        api->easy_setopt(c, CURLOPT_HEADERFUNCTION, OnHeader);
        api->easy_setopt(c, CURLOPT_HEADERDATA, &ex);
        api->easy_setopt(c, CURLOPT_WRITEFUNCTION, OnBody);
        api->easy_setopt(c, CURLOPT_WRITEDATA, &ex);

        const CURLcode rc = api->easy_perform(c);
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
