#include "timesync/CHttp.h"

#include <chrono>
#include <thread>
#include <utility>

#include "platform/Threads.h"

namespace kelvra {

CHttp::CHttp(platform::IHttpTransport& transport)
    : CHttp(transport, platform::StartDetachedThread,
            [](uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }) {}

CHttp::CHttp(platform::IHttpTransport& transport, ThreadStarter startThread, PollSleep sleep)
    : transport_(transport), startThread_(std::move(startThread)), sleep_(std::move(sleep)) {}

CHttp::~CHttp() = default;

int32_t CHttp::Get(const std::string& url, std::string& page) {
    auto fetch = std::make_shared<Fetch>();
    fetch->url = url;
    platform::IHttpTransport* transport = &transport_;
    const bool started = startThread_([fetch, transport] {
        std::string fetched;
        int32_t status = -1;
        try {
            status = transport->FetchPage(fetch->url, fetched);
        } catch (...) {
            // The fetch thread is a boundary: whatever went wrong becomes a platform failure.
            fetched.clear();
            status = -1;
        }
        fetch->page = std::move(fetched);
        fetch->status = status;
        fetch->done.store(1, std::memory_order_release);
    });
    if (!started) {
        page.clear();
        return -1;
    }
    while (fetch->done.load(std::memory_order_acquire) == 0) sleep_(kPollMs);
    page = fetch->page;
    return fetch->status;
}

std::function<int32_t(const std::string&, std::string&)> MakeHttpPageGetter(platform::IHttpTransport& transport) {
    return [&transport](const std::string& url, std::string& page) {
        CHttp http(transport);
        return http.Get(url, page);
    };
}

}  // namespace kelvra
