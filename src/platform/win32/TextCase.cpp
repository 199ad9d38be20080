#include "platform/TextCase.h"

#include <windows.h>

namespace kelvra::platform {
namespace {

constexpr UINT kCodePage = 936;

// The platform's lower case of one two-byte character; left as it is when the bytes are not
// a character of the code page or its lower case has no two-byte form there.
void LowerPair(char* pair) {
    wchar_t wide[2] = {};
    if (MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, pair, 2, wide, 2) != 1) return;
    CharLowerBuffW(wide, 1);
    char back[4] = {};
    BOOL usedDefault = FALSE;
    const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, 1, back, sizeof(back),
                                      nullptr, &usedDefault);
    if (n != 2 || usedDefault) return;
    pair[0] = back[0];
    pair[1] = back[1];
}

}  // namespace

std::string LowerCp936(const std::string& text) { return LowerCp936Walk(text, LowerPair); }

}  // namespace kelvra::platform
