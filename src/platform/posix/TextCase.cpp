#include "platform/TextCase.h"

namespace kelvra::platform {

std::string LowerCp936(const std::string& text) { return LowerCp936OwnMapping(text); }

}  // namespace kelvra::platform
