#include "platform/TextCase.h"

#include <windows.h>

namespace kelvra::platform {
namespace {

constexpr UINT kCodePage = 936;

bool IsTrailByte(unsigned char c) { return c >= 0x40 && c <= 0xFE && c != 0x7F; }

// The platform's lower case of one two-byte character; false when the bytes are not a
// character of the code page or its lower case has no two-byte form there.
bool LowerPair(char pair[2]) {
    wchar_t wide[2] = {};
    if (MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) != 1) return false;
    CharLowerBuffW(wide, 1);
    char back[4] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, 1, back, sizeof(back),
                                      nullptr, &usedDefault);
    if (n != 2 || usedDefault) return false;
    pair[0] = back[0];
    pair[1] = back[1];
    return true;
}

}  // namespace

std::string LowerCp936(const std::string& text) {
    std::string out(text);
    for (size_t i = 0; i < out.size();) {
        const unsigned char c = static_cast<unsigned char>(out[i]);
        if (c >= 'A' && c <= 'Z') {
            out[i] = char(c - 'A' + 'a');
            ++i;
        } else if (c >= 0x81 && c <= 0xFE && i + 1 < out.size() &&
                   IsTrailByte(static_cast<unsigned char>(out[i + 1]))) {
            LowerPair(&out[i]);
            i += 2;
        } else {
            ++i;
        }
    }
    return out;
}

}  // namespace kelvra::platform
