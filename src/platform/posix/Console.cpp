#include "platform/Console.h"

#include <cstdio>

#include "platform/Encoding.h"

namespace kelvra::platform {

void WriteConsoleText(const std::string& cp936) {
    const std::string utf8 = Cp936ToUtf8(cp936);
    std::fwrite(utf8.data(), 1, utf8.size(), stdout);
    std::fflush(stdout);
}

int ReadConsoleChar() {
    return std::getchar();
}

}  // namespace kelvra::platform
