#include "platform/TextCase.h"

#include <cstdint>

namespace kelvra::platform {
namespace {

bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// Capital ranges of code page 936 and the distance to their small forms, as code values
// (lead byte * 256 + trail byte). The small forms lie in the same row except for the Roman
// numerals, whose small forms ⅰ-ⅹ sit in row A2 further up; Ⅺ and Ⅻ have no small form in
// the code page and stay.
struct CaseRange {
    uint16_t first;
    uint16_t last;
    int delta;
};
constexpr CaseRange kCapitals[] = {
    {0xA2F1, 0xA2FA, -0x50},  // Ⅰ-Ⅹ -> ⅰ-ⅹ
    {0xA3C1, 0xA3DA, +0x20},  // fullwidth Ａ-Ｚ -> ａ-ｚ
    {0xA6A1, 0xA6B8, +0x20},  // Greek Α-Ω -> α-ω
    {0xA7A1, 0xA7C1, +0x30},  // Cyrillic А-Я (with Ё) -> а-я
};

uint16_t LowerCode(uint16_t code) {
    for (const CaseRange& r : kCapitals) {
        if (code >= r.first && code <= r.last) return uint16_t(code + r.delta);
    }
    return code;
}

}  // namespace

std::string LowerCp936OwnMapping(const std::string& text) {
    std::string out(text);
    for (size_t i = 0; i < out.size();) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = char(c - 'A' + 'a');
            ++i;
        } else if (c >= 0x81 && c <= 0xFE && i + 1 < out.size() &&
                   IsTrailByte(static_cast<unsigned char>(out[i + 1]))) {
            const uint16_t code = uint16_t(c << 8 | static_cast<unsigned char>(out[i + 1]));
            const uint16_t lower = LowerCode(code);
            out[i] = char(lower >> 8);
            out[i + 1] = char(lower & 0xFF);
            i += 2;
        } else {
            ++i;
        }
    }
    return out;
}

}  // namespace kelvra::platform
