// Raw system calls and bounded text for the filter-safe calls.
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

#include "seh/seh_internal.h"

namespace seh::detail {

long sys(long number, long a, long b, long c, long d, long e, long f) {
    // syscall() reports through errno; the thread's errno is kept as the interrupted code left it.
    const int saved = errno;
    long result = ::syscall(number, a, b, c, d, e, f);
    if (result == -1) result = -errno;
    errno = saved;
    return result;
}

pid_t threadId() { return static_cast<pid_t>(sys(SYS_gettid)); }

int openFile(const char* path, int flags, int mode) {
    return static_cast<int>(sys(SYS_openat, AT_FDCWD, reinterpret_cast<long>(path), flags | O_CLOEXEC, mode));
}

long readFile(int fd, void* buffer, std::size_t size) {
    for (;;) {
        const long got = sys(SYS_read, fd, reinterpret_cast<long>(buffer), static_cast<long>(size));
        if (got != -EINTR) return got;
    }
}

bool writeAll(int fd, const void* buffer, std::size_t size) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        const long put = sys(SYS_write, fd, reinterpret_cast<long>(bytes), static_cast<long>(size));
        if (put == -EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
    }
    return true;
}

bool writeAllAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) {
    const auto* bytes = static_cast<const char*>(buffer);
    while (size > 0) {
        const long put = sys(SYS_pwrite64, fd, reinterpret_cast<long>(bytes), static_cast<long>(size),
                             static_cast<long>(offset));
        if (put == -EINTR) continue;
        if (put <= 0) return false;
        bytes += put;
        size -= static_cast<std::size_t>(put);
        offset += static_cast<std::uint64_t>(put);
    }
    return true;
}

void closeFile(int fd) {
    if (fd >= 0) sys(SYS_close, fd);
}

bool readSmallFile(const char* path, char* buffer, std::size_t size) {
    const int fd = openFile(path, O_RDONLY);
    if (fd < 0) return false;
    std::size_t used = 0;
    while (used + 1 < size) {
        const long got = readFile(fd, buffer + used, size - 1 - used);
        if (got <= 0) break;
        used += static_cast<std::size_t>(got);
    }
    closeFile(fd);
    buffer[used] = '\0';
    return used > 0;
}

std::size_t length(const char* text, std::size_t limit) {
    std::size_t n = 0;
    while (n < limit && text[n] != '\0') ++n;
    return n;
}

std::size_t copy(char* to, std::size_t size, const char* from) {
    if (size == 0) return 0;
    std::size_t n = 0;
    if (from)
        for (; n + 1 < size && from[n] != '\0'; ++n) to[n] = from[n];
    to[n] = '\0';
    return n;
}

std::size_t append(char* to, std::size_t size, const char* from) {
    const std::size_t start = length(to, size);
    if (start >= size) return start;
    return start + copy(to + start, size - start, from);
}

bool hostPath(char* to, std::size_t size, const char* from) {
    if (!from || size == 0) return false;
    const std::size_t n = length(from, size);
    if (n >= size) return false;  // a cut path would name another file
    for (std::size_t i = 0; i < n; ++i) to[i] = from[i] == '\\' ? '/' : from[i];
    to[n] = '\0';
    return true;
}

}  // namespace seh::detail
