#pragma once
#include <string>

namespace kelvra::platform {

// Writes a code page 936 text to standard output and flushes it. On a Windows console it is
// shown right whatever the console's code page; redirected, the code page 936 bytes are
// written. On Linux it is written as UTF-8.
void WriteConsoleText(const std::string& cp936);
// Reads one character from standard input (waits when it is a console); -1 at its end.
int ReadConsoleChar();

}  // namespace kelvra::platform
