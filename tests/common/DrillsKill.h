#pragma once
#include <chrono>
#include <functional>

namespace kelvra::test {

// Runs `body` over and over in a child process and kills that child (SIGKILL) after `after`.
// True when the kill found the child still running, so it ended wherever it stood.
// Linux only: the Windows build has no such helper.
bool DrillsRunAndKill(const std::function<void()>& body, std::chrono::microseconds after);

}  // namespace kelvra::test
