#pragma once
#include <string>

namespace kelvra::platform {

// Lower case of a code page 936 text: ASCII A-Z, and every two-byte character that has a
// lower-case form in the code page. Bytes that do not form a valid character stay as they are.
// On Windows the platform's own mapping; on Linux LowerCp936OwnMapping.
std::string LowerCp936(const std::string& text);

// Our own mapping with the same result as the Windows mapping for code page 936 (the
// fullwidth Latin, Greek, Cyrillic and Roman numeral capitals); portable, used on Linux.
std::string LowerCp936OwnMapping(const std::string& text);

}  // namespace kelvra::platform
