#include "platform/Threads.h"

#include <windows.h>

#include <memory>

namespace kelvra::platform {
namespace {

DWORD WINAPI RunBody(LPVOID arg) {
    std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(arg));
    (*body)();
    return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
    auto* heapBody = new std::function<void()>(std::move(body));
    HANDLE thread = CreateThread(nullptr, 0, RunBody, heapBody, 0, nullptr);
    if (thread == nullptr) {
        delete heapBody;
        return false;
    }
    CloseHandle(thread);
    return true;
}

}  // namespace kelvra::platform
