#pragma once
#include <string>
#include <vector>

namespace kelvra {

// The process-wide, ordered list of NTP server texts (host names or dotted IPv4 addresses,
// code page 936). CRuVir's constructor appends to it and its cycle reads it.
using ServerList = std::vector<std::string>;

}  // namespace kelvra
