#include "platform/Threads.h"

#include <pthread.h>

#include <memory>

namespace kelvra::platform {
namespace {

void* RunBody(void* arg) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
    (*body)();
    return nullptr;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
    auto* heapBody = new std::function<void()>(std::move(body));
    pthread_t thread;
    if (pthread_create(&thread, nullptr, RunBody, heapBody) != 0) {
        delete heapBody;
        return false;
    }
    pthread_detach(thread);
    return true;
}

}  // namespace kelvra::platform
