#include "support/DailyLog.h"

#include <mutex>
#include <utility>

#include "platform/Encoding.h"
#include "platform/Files.h"
#include "support/ClockText.h"
#include "support/Paths.h"

namespace kelvra {
namespace {

// One lock for every writer: the service thread and the worker log to the same file.
std::mutex& LogLock() {
    static std::mutex lock;
    return lock;
}

}  // namespace

std::string LogDirectory() {
    return GetParentDir("") + "log" + platform::PathSeparator();
}

std::string LogLineBytes(const std::string& stamp, const std::string& text) {
#ifdef _WIN32
    return stamp + "\t" + text + "\r\n";
#else
    return platform::Cp936ToUtf8(stamp + "\t" + text + "\n");
#endif
}

DailyLogWriter::DailyLogWriter(std::function<std::string()> directory, platform::IClock& clock)
    : directory_(std::move(directory)), clock_(clock) {}

bool DailyLogWriter::Write(const std::string& text) {
    const std::string dir = directory_();
    std::lock_guard<std::mutex> guard(LogLock());
    // Read the clock under the lock, so lines land in the order of their stamps.
    const LocalStamp stamp = ReadLocalClock(clock_);
    if (!DirExists(dir)) platform::CreateOneDirectory(dir);  // single level; a failure shows below
    const std::string file = dir + FormatDateOf(stamp) + ".log";
    // One append of the whole line, begun on a line of its own even after a torn one.
    return platform::AppendLineToFile(file, LogLineBytes(FormatNowOf(stamp), text));
}

void WriteLog(const std::string& text) {
    // No static writer: WriteLog stays usable while the process's statics are torn down.
    DailyLogWriter(LogDirectory, platform::SystemClock()).Write(text);
}

}  // namespace kelvra
