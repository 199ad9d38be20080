#include "platform/Console.h"

#include <windows.h>

#include <cstdio>

#include "platform/Encoding.h"

namespace kelvra::platform {

void WriteConsoleText(const std::string& cp936) {
    std::fflush(stdout);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out != INVALID_HANDLE_VALUE && out != nullptr && GetConsoleMode(out, &mode)) {
        // A real console: hand it UTF-16, which it shows right whatever its code page.
        const std::wstring wide = Cp936ToWide(cp936);
        DWORD written = 0;
        WriteConsoleW(out, wide.data(), DWORD(wide.size()), &written, nullptr);
        return;
    }
    std::fwrite(cp936.data(), 1, cp936.size(), stdout);
    std::fflush(stdout);
}

int ReadConsoleChar() {
    return std::getchar();
}

}  // namespace kelvra::platform
