#pragma once
// Windows helpers for the service host's end-to-end test: processes with captured output,
// the service control manager as an operator uses it, and the registry.
#include <cstdint>
#include <string>

namespace kelvra::testing::servicehost {

struct ProcessResult {
    bool started = false;
    uint32_t exitCode = 0;
    std::string output;  // standard output, bytes as written
};

// Runs `commandLine` with standard output on a pipe and waits up to `timeoutMs`.
ProcessResult RunCaptured(const std::string& commandLine, uint32_t timeoutMs);

bool StartServiceNamed(const std::string& name);
bool ControlServiceNamed(const std::string& name, uint32_t code);
// The service's current state and exit code; false when it cannot be queried.
bool QueryServiceNamed(const std::string& name, uint32_t& state, uint32_t& exitCode);

// Under HKEY_LOCAL_MACHINE.
bool ReadRegistryDword(const std::string& keyPath, const std::string& name, uint32_t& value);
bool WriteRegistryDword(const std::string& keyPath, const std::string& name, uint32_t value);
bool DeleteRegistryKey(const std::string& keyPath);

std::string MakeTempDirectory(const std::string& prefix);  // ends in a backslash
bool CopyFileTo(const std::string& from, const std::string& to);
// The bytes of every *.log file in `directory` (ending in a backslash), one after another.
std::string ReadLogFiles(const std::string& directory);
void RemoveTree(const std::string& directory);

}  // namespace kelvra::testing::servicehost
