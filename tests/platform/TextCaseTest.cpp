#include <gtest/gtest.h>

#include <cstdio>

#include "platform/TextCase.h"

namespace kelvra {
namespace {

struct CaseCase {
    const char* what;
    std::string text;
    std::string lower;
};

const CaseCase kCases[] = {
    {"ASCII capitals", "<DATE>AbC-Z</DATE>", "<date>abc-z</date>"},
    {"fullwidth Latin", "\xA3\xC1\xA3\xDA", "\xA3\xE1\xA3\xFA"},
    {"Greek", "\xA6\xA1\xA6\xB8", "\xA6\xC1\xA6\xD8"},
    {"Cyrillic with Io", "\xA7\xA1\xA7\xA7\xA7\xC1", "\xA7\xD1\xA7\xD7\xA7\xF1"},
    {"Roman numerals one to ten", "\xA2\xF1\xA2\xFA", "\xA2\xA1\xA2\xAA"},
    {"Roman eleven and twelve have no small form", "\xA2\xFB\xA2\xFC", "\xA2\xFB\xA2\xFC"},
    {"small letters and Chinese stay", "\xA3\xE1\xCA\xB1\xBC\xE4", "\xA3\xE1\xCA\xB1\xBC\xE4"},
    {"second byte that looks like a capital", "\xB0" "A", "\xB0" "A"},
    {"lead byte cut off at the end", "X\xB0", "x\xB0"},
    {"lead byte before an invalid second byte", "\x81 A", "\x81 a"},
    {"single high bytes", "\x80\xFF" "B", "\x80\xFF" "b"},
};

TEST(TextCase, LowersAsciiAndTheCodePageCapitals) {
    for (const CaseCase& c : kCases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(platform::LowerCp936(c.text), c.lower);
        EXPECT_EQ(platform::LowerCp936OwnMapping(c.text), c.lower);
    }
}

#ifdef _WIN32
// Our own mapping (used on Linux) must agree with the platform's for every two-byte code.
TEST(TextCase, OwnMappingMatchesThePlatformForEveryTwoByteCode) {
    std::vector<std::string> differences;
    for (int lead = 0x81; lead <= 0xFE; ++lead) {
        for (int trail = 0x40; trail <= 0xFE; ++trail) {
            if (trail == 0x7F) continue;
            const std::string pair{char(lead), char(trail)};
            const std::string platform = platform::LowerCp936(pair);
            const std::string own = platform::LowerCp936OwnMapping(pair);
            if (platform != own) {
                char line[64];
                std::snprintf(line, sizeof(line), "%02X%02X: platform %02X%02X, own %02X%02X", lead, trail,
                              unsigned(static_cast<unsigned char>(platform[0])),
                              unsigned(static_cast<unsigned char>(platform[1])),
                              unsigned(static_cast<unsigned char>(own[0])),
                              unsigned(static_cast<unsigned char>(own[1])));
                differences.push_back(line);
            }
        }
    }
    std::string report;
    for (const std::string& d : differences) report += d + "\n";
    EXPECT_TRUE(differences.empty()) << report;
}
#endif

}  // namespace
}  // namespace kelvra
