#pragma once
#include <string>

namespace kelvra::bench {

// Runs a shell command, returns its exit status (-1 when it could not be run) and its output.
int RunCommand(const std::string& command, std::string& output);

}  // namespace kelvra::bench
