#pragma once
#include <functional>
#include <string>

#include "platform/Clock.h"

namespace kelvra {

// Appends "date time<TAB>text" as one line to the day's file in the log directory beside the
// executable's directory. Safe to call from any thread; a line that cannot be written is lost.
void WriteLog(const std::string& text);

// The log directory of WriteLog: GetParentDir("") + "log" + separator.
std::string LogDirectory();

// The daily log with its directory and clock given, so that tests write into a directory of
// their own. Every writer in the process shares one lock: lines never mix.
class DailyLogWriter {
public:
    DailyLogWriter(std::function<std::string()> directory, platform::IClock& clock);

    // True when the line reached the file. The file name and the stamp come from one reading of
    // the clock, so a line is never filed under a day other than its own.
    bool Write(const std::string& text);

private:
    std::function<std::string()> directory_;
    platform::IClock& clock_;
};

// The bytes of one line as they reach the file: CRLF and code page 936 on Windows, LF and UTF-8
// on Linux.
std::string LogLineBytes(const std::string& stamp, const std::string& text);

}  // namespace kelvra
