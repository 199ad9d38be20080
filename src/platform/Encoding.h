#pragma once
#include <string>

namespace kelvra::platform {

// Conversions of code page 936 texts for the places a person reads them.
// Bytes that are not valid code page 936 are replaced, never passed on.
std::string Cp936ToUtf8(const std::string& cp936);
std::wstring Cp936ToWide(const std::string& cp936);
std::string Utf8ToCp936(const std::string& utf8);

}  // namespace kelvra::platform
