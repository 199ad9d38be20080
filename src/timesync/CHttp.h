#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/Http.h"

namespace kelvra {

// Fetches one page on a fetch thread of its own while the caller polls for it every 100 ms.
// The fetch always ends by itself, because the transport bounds every exchange in time.
class CHttp {
public:
    using ThreadStarter = std::function<bool(std::function<void()>)>;
    using PollSleep = std::function<void(uint32_t milliseconds)>;

    static constexpr uint32_t kPollMs = 100;

    explicit CHttp(platform::IHttpTransport& transport);
    CHttp(platform::IHttpTransport& transport, ThreadStarter startThread, PollSleep sleep);
    virtual ~CHttp();

    // The status of the fetch (see IHttpTransport) and its page in `page`; -1 and an empty
    // page when the fetch thread cannot be started. Blocks until the fetch has finished.
    int32_t Get(const std::string& url, std::string& page);

private:
    // What the caller and the fetch thread share. The fetch thread holds its own reference,
    // so nothing it touches can be destroyed under it.
    struct Fetch {
        std::string url;
        std::string page;
        int32_t status = 0;
        std::atomic<int32_t> done{0};
    };

    platform::IHttpTransport& transport_;
    ThreadStarter startThread_;
    PollSleep sleep_;
};

// A page getter for the web time fallback: one CHttp over `transport` per call.
std::function<int32_t(const std::string&, std::string&)> MakeHttpPageGetter(platform::IHttpTransport& transport);

}  // namespace kelvra
