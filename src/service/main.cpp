#include "platform/Console.h"
#include "support/Texts.h"

int main() {
    kelvra::platform::WriteConsoleText(std::string(kelvra::texts::kTitle) + "\n");
    kelvra::platform::WriteConsoleText(std::string(kelvra::texts::kDone) + "\n");
    return 0;
}
