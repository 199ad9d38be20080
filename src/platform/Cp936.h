#pragma once
#include <cstddef>
#include <string>

namespace kelvra {

// Code page 936: a byte 0x81-0xFE starts a two-byte character whose second byte is 0x40-0xFE
// (0x7F excluded). Second bytes can equal ASCII punctuation such as '\\' (0x5C).
inline bool IsCp936LeadByte(unsigned char c) { return c >= 0x81 && c <= 0xFE; }

// Position of the last `ch` (an ASCII byte) in `text` that is a character of its own, never the
// second byte of a two-byte character; npos when there is none.
inline size_t FindLastCp936Char(const std::string& text, char ch) {
    size_t found = std::string::npos;
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (IsCp936LeadByte(c) && i + 1 < text.size()) {
            i += 2;
            continue;
        }
        if (text[i] == ch) found = i;
        ++i;
    }
    return found;
}

}  // namespace kelvra
