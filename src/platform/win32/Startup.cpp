#include "platform/Startup.h"

#include <windows.h>

namespace kelvra::platform {

bool StartProcessRuntime() {
    // What the process needs before it prints: its own module and a command line.
    return GetModuleHandleA(nullptr) != nullptr && GetCommandLineA() != nullptr;
}

bool LoadStringResource(uint32_t id, std::string& cp936) {
    const wchar_t* text = nullptr;
    // With a length of 0, LoadStringW hands back a pointer into the resource itself.
    const int length = LoadStringW(GetModuleHandleW(nullptr), id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) return false;
    const int n = WideCharToMultiByte(936, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (n <= 0) return false;
    cp936.assign(size_t(n), '\0');
    WideCharToMultiByte(936, 0, text, length, &cp936[0], n, nullptr, nullptr);
    return true;
}

}  // namespace kelvra::platform
