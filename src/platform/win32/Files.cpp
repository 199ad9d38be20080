#include "platform/Files.h"

#include <windows.h>

#include <algorithm>

#include "platform/Encoding.h"

namespace kelvra::platform {

char PathSeparator() { return '\\'; }

std::string ExecutablePath() {
    char buffer[MAX_PATH] = {0};
    const DWORD n = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return std::string();
    return std::string(buffer, n);
}

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool CreateOneDirectory(const std::string& path) {
    return CreateDirectoryA(path.c_str(), nullptr) != 0;
}

// Paths are code page 936 texts: open the wide path so the process's code page and
// C locale play no part.
bool AppendToFile(const std::string& path, const std::string& bytes) {
    const std::wstring wide = Cp936ToWide(path);
    HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool AppendLineToFile(const std::string& path, const std::string& line) {
    const std::wstring wide = Cp936ToWide(path);
    HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    std::string bytes;
    LARGE_INTEGER size{};
    if (GetFileSizeEx(file, &size) && size.QuadPart > 0) {
        LARGE_INTEGER at{};
        at.QuadPart = size.QuadPart - 1;
        char last = '\n';
        DWORD got = 0;
        if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && ReadFile(file, &last, 1, &got, nullptr) && got == 1 &&
            last != '\n') {
            bytes = last == '\r' ? "\n" : "\r\n";
        }
    }
    bytes += line;
    DWORD written = 0;
    const BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool ReadFileBytes(const std::string& path, std::string& out, size_t limit) {
    out.clear();
    const std::wstring wide = Cp936ToWide(path);
    HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    char buffer[65536];
    while (out.size() < limit) {
        DWORD got = 0;
        const DWORD want = DWORD(std::min(sizeof buffer, limit - out.size()));
        if (!ReadFile(file, buffer, want, &got, nullptr) || got == 0) break;
        out.append(buffer, got);
    }
    CloseHandle(file);
    return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
    const std::wstring wide = Cp936ToWide(path);
    const std::wstring temp = wide + L".kelvra-tmp";
    HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), DWORD(bytes.size()), &written, nullptr) &&
              written == bytes.size() && FlushFileBuffers(file);
    CloseHandle(file);
    if (ok) ok = MoveFileExW(temp.c_str(), wide.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!ok) DeleteFileW(temp.c_str());
    return ok != FALSE;
}

}  // namespace kelvra::platform
