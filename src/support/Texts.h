#pragma once
// Every text of the system, as code page 936 bytes. The characters each stands for are
// written beside it, and the texts test decodes the bytes and compares them with these.
// (Escapes instead of an execution character set: clang accepts only UTF-8 there.)

namespace kelvra::texts {

// Product
inline constexpr char kTitle[] = "Kelvra\xA1\xA4\xCD\xF8\xC2\xE7\xB6\xD4\xCA\xB1\xCF\xB5\xCD\xB3";  // Kelvra·网络对时系统
inline constexpr char kServiceDescription[] =
    "Kelvra\xA1\xA4\xCD\xF8\xC2\xE7\xB6\xD4\xCA\xB1\xCF\xB5\xCD\xB3\xA3\xAC\xCD\xA3\xD6\xB9\xBA\xF3"
    "\xBD\xAB\xCE\xDE\xB7\xA8\xD7\xD4\xB6\xAF\xCD\xAC\xB2\xBD\xCF\xB5\xCD\xB3\xCA\xB1\xBC\xE4";  // Kelvra·网络对时系统，停止后将无法自动同步系统时间
inline constexpr char kServiceName[] = "DaZirAdur";
inline constexpr char kConfigSection[] = "DaZirAdur";

// Console
inline constexpr char kDone[] = "\xD6\xB4\xD0\xD0\xCD\xEA\xB1\xCF";  // 执行完毕
inline constexpr char kMfcInitFailed[] = "Fatal Error: MFC initialization failed";
inline constexpr char kVersionLine[] = "%s Version %d.%d\n";
inline constexpr char kInstalledLine[] = "The service is %s installed\n";
inline constexpr char kCurrently[] = "currently";
inline constexpr char kNot[] = "not";
inline constexpr char kAlreadyInstalled[] = "%s is already installed\n";
inline constexpr char kInstalled[] = "%s installed\n";
inline constexpr char kInstallFailed[] = "%s failed to install. Error %d\n";
inline constexpr char kNotInstalled[] = "%s is not installed\n";
inline constexpr char kRemoved[] = "%s removed. (You must delete the file (%s) yourself.)\n";
inline constexpr char kRemoveFailed[] = "Could not remove %s. Error %d\n";

// Console: the time-source query (-q). One line per source: number, name, what it gave.
inline constexpr char kQueryHeader[] = "Asking every time source once; the clock is not set.\n";
inline constexpr char kQueryLine[] = "%3d %-22s %s\n";
inline constexpr char kQueryWebName[] = "web";
inline constexpr char kQueryServerOk[] = "ok  offset %+lld ms  delay %lld ms  stratum %d";
inline constexpr char kQueryNoAddress[] = "no address (name lookup failed)";
inline constexpr char kQueryTimeout[] = "time-out (no reply within %u ms)";
inline constexpr char kQueryRefused[] = "refused (port %u closed)";
inline constexpr char kQueryKissOfDeath[] = "kiss-o'-death %s";
inline constexpr char kQueryUnsynchronised[] = "unsynchronised (leap 3 or stratum > 15)  stratum %d";
inline constexpr char kQueryBadMode[] = "bad mode (not a server reply)";
inline constexpr char kQueryShortReply[] = "short reply";
inline constexpr char kQueryBadOriginate[] = "bad originate (not a reply to our request)";
inline constexpr char kQueryZeroTransmit[] = "zero transmit time";
inline constexpr char kQuerySocketError[] = "socket error";
inline constexpr char kQuerySendError[] = "send error";
inline constexpr char kQueryReceiveError[] = "receive error";
inline constexpr char kQueryBadTime[] = "bad time (no local time for it)";
inline constexpr char kQueryWebOk[] = "ok  %s  offset %+lld ms";
inline constexpr char kQueryWebNoHost[] = "not configured (no WebTimeHost in config.ini)";
inline constexpr char kQueryWebFetchFailed[] = "fetch failed (status %d)";
inline constexpr char kQueryWebBadDate[] = "bad date \"%s\"";
inline constexpr char kQueryWebBadTime[] = "bad time \"%s\"";
inline constexpr char kQueryWebInvalid[] = "invalid date/time \"%s\"";
inline constexpr char kQueryUsable[] = "%d of %d sources gave a usable time\n";
inline constexpr char kQueryNoneUsable[] = "No source gave a usable time\n";

// Daily log
inline constexpr char kMainServiceStarted[] = "\xD6\xF7\xB7\xFE\xCE\xF1\xC6\xF4\xB6\xAF\xA3\xA1";  // 主服务启动！
inline constexpr char kServiceStopped[] = "\xB7\xFE\xCE\xF1\xCD\xA3\xD6\xB9";  // 服务停止
inline constexpr char kSyncOk[] = "\xCD\xAC\xB2\xBD\xB3\xC9\xB9\xA6";  // 同步成功
inline constexpr char kSyncOkOpen[] = "\xCD\xAC\xB2\xBD\xB3\xC9\xB9\xA6\xA3\xA8";  // 同步成功（
inline constexpr char kSyncOkClose[] = "\xA3\xA9";  // ）
inline constexpr char kSyncFailed[] = "\xCD\xAC\xB2\xBD\xCA\xA7\xB0\xDC\xA3\xBA";  // 同步失败：
// Follows kSyncFailed when a cycle ended in an error that carries no text of its own.
inline constexpr char kUnknownError[] = "\xCE\xB4\xD6\xAA\xB4\xED\xCE\xF3";  // 未知错误

// Result texts of a cycle. A cycle succeeded exactly when its text is empty or begins with kSuccessPrefix.
inline constexpr char kSuccessPrefix[] = "\xCD\xA8\xB9\xFD";  // 通过
inline constexpr char kViaServerOpen[] = "\xCD\xA8\xB9\xFD\xB7\xFE\xCE\xF1\xC6\xF7[";  // 通过服务器[
inline constexpr char kViaServerClose[] = "]";
inline constexpr char kServerQueryFailed[] =
    "\xBB\xF1\xC8\xA1\xB7\xFE\xCE\xF1\xC6\xF7\xCA\xB1\xBC\xE4\xCA\xA7\xB0\xDC\xA3\xBA";  // 获取服务器时间失败：
inline constexpr char kSetTimeFailed[] = "\xC9\xE8\xD6\xC3\xCA\xB1\xBC\xE4\xCA\xA7\xB0\xDC\xA1\xA3";  // 设置时间失败。
inline constexpr char kBadDate[] = "\xC8\xD5\xC6\xDA\xB8\xF1\xCA\xBD\xB4\xED\xCE\xF3\xA3\xBA";  // 日期格式错误：
inline constexpr char kBadTime[] = "\xCA\xB1\xBC\xE4\xB8\xF1\xCA\xBD\xB4\xED\xCE\xF3\xA3\xBA";  // 时间格式错误：
inline constexpr char kInvalidDateTime[] = "\xC8\xD5\xC6\xDA\xCA\xB1\xBC\xE4\xCE\xDE\xD0\xA7\xA3\xBA";  // 日期时间无效：
inline constexpr char kViaWebTime[] = "\xCD\xA8\xB9\xFD[Dornak\xCA\xB1\xBC\xE4\xB7\xFE\xCE\xF1\xC6\xF7]";  // 通过[Dornak时间服务器]

// The same texts, paired with the characters they stand for, for the texts test.
struct TextEntry {
    const char* name;
    const char* cp936;
    const char* utf8;
};

inline constexpr TextEntry kAllTexts[] = {
    {"kTitle", kTitle, u8"Kelvra·网络对时系统"},
    {"kServiceDescription", kServiceDescription, u8"Kelvra·网络对时系统，停止后将无法自动同步系统时间"},
    {"kDone", kDone, u8"执行完毕"},
    {"kMainServiceStarted", kMainServiceStarted, u8"主服务启动！"},
    {"kServiceStopped", kServiceStopped, u8"服务停止"},
    {"kSyncOk", kSyncOk, u8"同步成功"},
    {"kSyncOkOpen", kSyncOkOpen, u8"同步成功（"},
    {"kSyncOkClose", kSyncOkClose, u8"）"},
    {"kSyncFailed", kSyncFailed, u8"同步失败："},
    {"kUnknownError", kUnknownError, u8"未知错误"},
    {"kSuccessPrefix", kSuccessPrefix, u8"通过"},
    {"kViaServerOpen", kViaServerOpen, u8"通过服务器["},
    {"kServerQueryFailed", kServerQueryFailed, u8"获取服务器时间失败："},
    {"kSetTimeFailed", kSetTimeFailed, u8"设置时间失败。"},
    {"kBadDate", kBadDate, u8"日期格式错误："},
    {"kBadTime", kBadTime, u8"时间格式错误："},
    {"kInvalidDateTime", kInvalidDateTime, u8"日期时间无效："},
    {"kViaWebTime", kViaWebTime, u8"通过[Dornak时间服务器]"},
};

}  // namespace kelvra::texts
