#include "platform/Encoding.h"

#include <windows.h>

namespace kelvra::platform {
namespace {

constexpr UINT kCp936 = 936;

std::wstring ToWide(UINT codePage, const std::string& in) {
    if (in.empty()) return std::wstring();
    const int n = MultiByteToWideChar(codePage, 0, in.data(), int(in.size()), nullptr, 0);
    std::wstring out(size_t(n > 0 ? n : 0), L'\0');
    if (n > 0) MultiByteToWideChar(codePage, 0, in.data(), int(in.size()), &out[0], n);
    return out;
}

std::string FromWide(UINT codePage, const std::wstring& in) {
    if (in.empty()) return std::string();
    const int n = WideCharToMultiByte(codePage, 0, in.data(), int(in.size()), nullptr, 0, nullptr, nullptr);
    std::string out(size_t(n > 0 ? n : 0), '\0');
    if (n > 0) WideCharToMultiByte(codePage, 0, in.data(), int(in.size()), &out[0], n, nullptr, nullptr);
    return out;
}

}  // namespace

std::string Cp936ToUtf8(const std::string& cp936) {
    return FromWide(CP_UTF8, ToWide(kCp936, cp936));
}

std::wstring Cp936ToWide(const std::string& cp936) {
    return ToWide(kCp936, cp936);
}

std::string Utf8ToCp936(const std::string& utf8) {
    return FromWide(kCp936, ToWide(CP_UTF8, utf8));
}

}  // namespace kelvra::platform
