#include "platform/Startup.h"

#include <clocale>

namespace kelvra::platform {

bool StartProcessRuntime() {
    // Texts are bytes of their own code page; the C library must not reinterpret them.
    return std::setlocale(LC_ALL, "C") != nullptr;
}

bool LoadStringResource(uint32_t, std::string&) { return false; }

}  // namespace kelvra::platform
