#include "platform/Encoding.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

namespace kelvra::platform {
namespace {

// Converts with iconv; an input sequence that cannot be converted is replaced by
// `replacement` (already in the target encoding) and skipped byte by byte.
std::string Convert(const char* to, const char* from, const std::string& in,
                    const std::string& replacement) {
    iconv_t cd = iconv_open(to, from);
    if (cd == iconv_t(-1)) return std::string();
    std::string out;
    std::vector<char> buffer(in.size() * 4 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer.data();
        size_t dstLeft = buffer.size();
        const size_t rc = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer.data(), size_t(dst - buffer.data()));
        if (rc == size_t(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (a cut sequence at the end): replace one byte and go on.
            out += replacement;
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    iconv_close(cd);
    return out;
}

}  // namespace

std::string Cp936ToUtf8(const std::string& cp936) {
    return Convert("UTF-8", "CP936", cp936, "\xEF\xBF\xBD");
}

std::wstring Cp936ToWide(const std::string& cp936) {
    const std::string utf32 = Convert("UTF-32LE", "CP936", cp936, std::string("\xFD\xFF\0\0", 4));
    std::wstring out;
    for (size_t i = 0; i + 4 <= utf32.size(); i += 4) {
        const uint32_t c = uint32_t(uint8_t(utf32[i])) | uint32_t(uint8_t(utf32[i + 1])) << 8 |
                           uint32_t(uint8_t(utf32[i + 2])) << 16 | uint32_t(uint8_t(utf32[i + 3])) << 24;
        out.push_back(wchar_t(c));
    }
    return out;
}

std::string Utf8ToCp936(const std::string& utf8) {
    return Convert("CP936", "UTF-8", utf8, "?");
}

}  // namespace kelvra::platform
