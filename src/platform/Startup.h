#pragma once
#include <cstdint>
#include <string>

namespace kelvra::platform {

// Start-up of the process's runtime before anything is printed; false when it failed.
bool StartProcessRuntime();

// String resource `id` of the executable, converted to code page 936. False when the
// executable holds no such string (always on Linux, whose executables carry no resources).
bool LoadStringResource(uint32_t id, std::string& cp936);

}  // namespace kelvra::platform
