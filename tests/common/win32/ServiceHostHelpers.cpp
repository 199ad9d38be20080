#include "common/ServiceHostHelpers.h"

#include <windows.h>

#include <vector>

namespace kelvra::testing::servicehost {

ProcessResult RunCaptured(const std::string& commandLine, uint32_t timeoutMs) {
    ProcessResult result;
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = writeEnd;
    si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    const BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                        nullptr, &si, &pi);
    CloseHandle(writeEnd);
    if (!created) {
        CloseHandle(readEnd);
        return result;
    }
    result.started = true;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) result.output.append(buffer, got);
    CloseHandle(readEnd);
    WaitForSingleObject(pi.hProcess, timeoutMs);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    result.exitCode = code;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return result;
}

namespace {

template <typename Body>
bool WithService(const std::string& name, DWORD access, Body body) {
    SC_HANDLE scm = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (scm == nullptr) return false;
    SC_HANDLE service = OpenServiceA(scm, name.c_str(), access);
    bool ok = false;
    if (service != nullptr) {
        ok = body(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(scm);
    return ok;
}

}  // namespace

bool StartServiceNamed(const std::string& name) {
    return WithService(name, SERVICE_START, [](SC_HANDLE s) { return StartServiceA(s, 0, nullptr) != 0; });
}

bool ControlServiceNamed(const std::string& name, uint32_t code) {
    const DWORD access = code == SERVICE_CONTROL_STOP ? SERVICE_STOP
                         : code >= 128                ? SERVICE_USER_DEFINED_CONTROL
                                                      : SERVICE_INTERROGATE;
    return WithService(name, access, [code](SC_HANDLE s) {
        SERVICE_STATUS status{};
        return ControlService(s, code, &status) != 0;
    });
}

bool QueryServiceNamed(const std::string& name, uint32_t& state, uint32_t& exitCode) {
    return WithService(name, SERVICE_QUERY_STATUS, [&](SC_HANDLE s) {
        SERVICE_STATUS status{};
        if (!QueryServiceStatus(s, &status)) return false;
        state = status.dwCurrentState;
        exitCode = status.dwWin32ExitCode;
        return true;
    });
}

bool ReadRegistryDword(const std::string& keyPath, const std::string& name, uint32_t& value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, data = 0, size = sizeof data;
    const LONG r = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(key);
    if (r != ERROR_SUCCESS || type != REG_DWORD || size != 4) return false;
    value = data;
    return true;
}

bool WriteRegistryDword(const std::string& keyPath, const std::string& name, uint32_t value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyPath.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    const DWORD data = value;
    const LONG r = RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&data), 4);
    RegCloseKey(key);
    return r == ERROR_SUCCESS;
}

bool DeleteRegistryKey(const std::string& keyPath) {
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, keyPath.c_str()) == ERROR_SUCCESS;
}

std::string MakeTempDirectory(const std::string& prefix) {
    char base[MAX_PATH] = {0};
    GetTempPathA(MAX_PATH, base);
    std::string dir = std::string(base) + prefix + std::to_string(GetCurrentProcessId()) + "\\";
    CreateDirectoryA(dir.c_str(), nullptr);
    return dir;
}

bool CopyFileTo(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

std::string ReadLogFiles(const std::string& directory) {
    std::string all;
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((directory + "*.log").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return all;
    do {
        HANDLE file = CreateFileA((directory + found.cFileName).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        char buffer[4096];
        DWORD got = 0;
        while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) all.append(buffer, got);
        CloseHandle(file);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return all;
}

void RemoveTree(const std::string& directory) {
    WIN32_FIND_DATAA found{};
    HANDLE search = FindFirstFileA((directory + "*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(directory + name + "\\");
            } else {
                DeleteFileA((directory + name).c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(directory.c_str());
}

}  // namespace kelvra::testing::servicehost
