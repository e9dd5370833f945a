// Starting a program from a filter: the command line split by the platform's rules into static
// words, a raw fork and execve. A close-on-exec pipe tells the parent whether execve succeeded.
#include <fcntl.h>
#include <signal.h>
#include <sys/syscall.h>

#include <cerrno>
#include <cstring>

#include "seh/seh_internal.h"

extern char** environ;

namespace seh {
namespace {

using namespace detail;

constexpr std::size_t kCommandLineSize = 3 * MODULE_PATH_SIZE;
constexpr std::size_t kMaxWords = 64;
constexpr int kFirstInheritableFd = 3;
constexpr long kCloseRange = 436;  // close_range(2)
constexpr long kCloseRangeCloexec = 1 << 2;

char words[kCommandLineSize + kMaxWords];
char* argv[kMaxWords + 1];
char programFile[MODULE_PATH_SIZE];

bool isBlank(char c) { return c == ' ' || c == '\t'; }

// Splits `line` into argv. The first word ends at its closing quote (or at a blank when not
// quoted); the others follow the argument rules: quotes group and are removed, "" inside quotes
// is a quote, 2n backslashes before a quote give n backslashes, 2n+1 give n and a quote, other
// backslashes are kept.
std::size_t split(const char* line) {
    std::size_t count = 0, out = 0;
    const char* p = line;
    while (isBlank(*p)) ++p;
    if (*p) {
        argv[count++] = words + out;
        if (*p == '"') {
            for (++p; *p && *p != '"' && out + 1 < sizeof words; ++p) words[out++] = *p;
            if (*p == '"') ++p;
        } else {
            for (; *p && !isBlank(*p) && out + 1 < sizeof words; ++p) words[out++] = *p;
        }
        words[out++] = '\0';
    }
    for (;;) {
        while (isBlank(*p)) ++p;
        if (!*p || count == kMaxWords) break;
        argv[count++] = words + out;
        bool quoted = false;
        while (*p && (quoted || !isBlank(*p)) && out + 2 < sizeof words) {
            if (*p == '\\') {
                std::size_t slashes = 0;
                while (*p == '\\') ++slashes, ++p;
                if (*p == '"') {
                    for (std::size_t i = 0; i < slashes / 2 && out + 2 < sizeof words; ++i) words[out++] = '\\';
                    if (slashes % 2) words[out++] = *p++;
                } else {
                    for (std::size_t i = 0; i < slashes && out + 2 < sizeof words; ++i) words[out++] = '\\';
                }
            } else if (*p == '"') {
                if (quoted && p[1] == '"') {
                    words[out++] = '"';
                    p += 2;
                } else {
                    quoted = !quoted;
                    ++p;
                }
            } else {
                words[out++] = *p++;
            }
        }
        words[out++] = '\0';
    }
    argv[count] = nullptr;
    return count;
}

[[noreturn]] void childStart(int reportFd, bool inheritHandles, const char* directory) {
    sigset_t none;
    std::memset(&none, 0, sizeof none);
    sys(SYS_rt_sigprocmask, SIG_SETMASK, reinterpret_cast<long>(&none), 0, sizeof(long));
    if (!inheritHandles) {
        // Every descriptor but the standard three goes at execve; the report pipe must stay open
        // until then.
        if (sys(kCloseRange, kFirstInheritableFd, ~0u, kCloseRangeCloexec) != 0) {
            for (int fd = kFirstInheritableFd; fd < 4096; ++fd)
                if (fd != reportFd) sys(SYS_close, fd);
        }
    }
    long error = 0;
    if (directory && sys(SYS_chdir, reinterpret_cast<long>(directory)) != 0) error = -ENOENT;
    if (error == 0)
        error = sys(SYS_execve, reinterpret_cast<long>(programFile), reinterpret_cast<long>(argv),
                    reinterpret_cast<long>(environ));
    const int code = static_cast<int>(-error);
    writeAll(reportFd, &code, sizeof code);
    sys(SYS_exit_group, 127);
    for (;;) {
    }
}

}  // namespace

BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, SECURITY_ATTRIBUTES*, SECURITY_ATTRIBUTES*,
                    BOOL inheritHandles, DWORD creationFlags, LPVOID environment, LPCSTR currentDirectory,
                    STARTUPINFOA* startupInfo, PROCESS_INFORMATION* processInformation) {
    if ((!applicationName && !commandLine) || environment || creationFlags != 0 || !startupInfo || !processInformation)
        return FALSE;
    if (split(commandLine ? commandLine : applicationName) == 0 && !applicationName) return FALSE;
    if (!hostPath(programFile, sizeof programFile, applicationName ? applicationName : argv[0])) return FALSE;
    // Trailing blanks are not part of a file name.
    for (std::size_t n = length(programFile, sizeof programFile); n > 0 && isBlank(programFile[n - 1]);)
        programFile[--n] = '\0';
    if (!argv[0]) {
        argv[0] = programFile;
        argv[1] = nullptr;
    }
    char directory[MODULE_PATH_SIZE];
    if (currentDirectory && !hostPath(directory, sizeof directory, currentDirectory)) return FALSE;

    int report[2];
    if (sys(SYS_pipe2, reinterpret_cast<long>(report), O_CLOEXEC) != 0) return FALSE;
    const long child = sys(SYS_fork);
    if (child == 0) childStart(report[1], inheritHandles != FALSE, currentDirectory ? directory : nullptr);
    closeFile(report[1]);
    int error = 0;
    const long got = child > 0 ? readFile(report[0], &error, sizeof error) : -1;
    closeFile(report[0]);
    if (child < 0) return FALSE;
    if (got != 0) {
        // execve failed: the child has ended; collect it.
        sys(SYS_wait4, child, 0, 0, 0);
        return FALSE;
    }
    *processInformation = {nullptr, nullptr, static_cast<DWORD>(child), static_cast<DWORD>(child)};
    return TRUE;
}

}  // namespace seh
