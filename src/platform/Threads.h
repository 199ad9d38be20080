#pragma once
#include <functional>

namespace kelvra::platform {

// Starts `body` on a new operating-system thread that nobody joins.
// False when the thread could not be created (then `body` never runs).
bool StartDetachedThread(std::function<void()> body);

}  // namespace kelvra::platform
