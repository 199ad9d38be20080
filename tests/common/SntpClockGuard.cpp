#include <fstream>
#include <sstream>
#include <string>

#include "common/SntpFakes.h"

namespace kelvra::test {

bool SntpClockChangeImpossible() {
#ifdef _WIN32
    const char* path = "Z:\\proc\\self\\status";
#else
    const char* path = "/proc/self/status";
#endif
    constexpr unsigned kCapSysTime = 25;
    std::ifstream status(path);
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("CapEff:", 0) != 0) continue;
        std::istringstream hex(line.substr(7));
        unsigned long long caps = 0;
        if (!(hex >> std::hex >> caps)) return false;
        return (caps & (1ULL << kCapSysTime)) == 0;
    }
    return false;
}

}  // namespace kelvra::test
