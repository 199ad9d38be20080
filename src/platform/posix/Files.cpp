#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <climits>
#include <vector>

namespace kelvra::platform {
namespace {

bool WriteAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

std::string DirectoryOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

}  // namespace

char PathSeparator() { return '/'; }

std::string ExecutablePath() {
    std::vector<char> buffer(PATH_MAX + 1, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (n <= 0) return std::string();
    return std::string(buffer.data(), size_t(n));
}

bool IsDirectory(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateOneDirectory(const std::string& path) {
    return ::mkdir(path.c_str(), 0755) == 0;
}

bool AppendToFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool ok = WriteAll(fd, bytes.data(), bytes.size());
    ::close(fd);
    return ok;
}

bool AppendLineToFile(const std::string& path, const std::string& line) {
    const int fd = ::open(path.c_str(), O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    std::string bytes;
    struct stat st{};
    char last = '\n';
    if (::fstat(fd, &st) == 0 && st.st_size > 0 && ::pread(fd, &last, 1, st.st_size - 1) == 1 && last != '\n') {
        bytes = "\n";
    }
    bytes += line;
    const bool ok = WriteAll(fd, bytes.data(), bytes.size());
    ::close(fd);
    return ok;
}

bool ReadFileBytes(const std::string& path, std::string& out, size_t limit) {
    out.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    char buffer[65536];
    while (out.size() < limit) {
        const size_t want = std::min(sizeof buffer, limit - out.size());
        const ssize_t n = ::read(fd, buffer, want);
        if (n < 0) {
            if (errno == EINTR) continue;
            ::close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buffer, size_t(n));
    }
    ::close(fd);
    return true;
}

bool ReplaceFileAtomically(const std::string& path, const std::string& bytes) {
    struct stat old{};
    const bool existed = ::stat(path.c_str(), &old) == 0;
    if (existed && !S_ISREG(old.st_mode)) return false;
    // A read-only file stays unwritten, as the platform's writer leaves it.
    if (existed && ::access(path.c_str(), W_OK) != 0) return false;

    std::string tmpl = DirectoryOf(path) + "/.kelvra-XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, bytes.data(), bytes.size());
    if (ok && existed) {
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        if (ok && ::fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM) ok = false;
    } else if (ok) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        ok = ::fchmod(fd, 0666 & ~mask) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ::close(fd);
    if (ok) ok = ::rename(name.data(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(name.data());
        return false;
    }
    const int dirFd = ::open(DirectoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

}  // namespace kelvra::platform
