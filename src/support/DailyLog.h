#pragma once
#include <string>

namespace kelvra {

// Appends "date time<TAB>text" as one line to the day's file in the log directory beside the
// executable's directory. Safe to call from any thread; a line that cannot be written is lost.
void WriteLog(const std::string& text);

}  // namespace kelvra
