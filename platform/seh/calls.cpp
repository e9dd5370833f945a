// The calls that an exception filter may make: files, folders, time, system and memory facts,
// memory reads that cannot fault, the module snapshot. What cannot be read safely at an exception
// (the time-zone rules, the processor count, the environment) is read by PrepareProcessFacts.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "seh/seh_internal.h"

namespace seh {
namespace {

using namespace detail;

// 100-ns intervals from 1601-01-01 to 1970-01-01.
constexpr std::uint64_t kEpochDifference = 116444736000000000ull;
constexpr std::uint64_t kTicksPerSecond = 10000000ull;
// The user part of the address space of an x86-64 process (47-bit addresses, the null area excluded).
constexpr std::uint64_t kLowestUserAddress = 0x10000ull;
constexpr std::uint64_t kHighestUserAddress = 0x7FFFFFFFEFFFull;

struct ProcessFacts {
    std::atomic<bool> prepared{false};
    std::atomic<long> timeZoneOffset{0};  // seconds east of UTC
    std::atomic<DWORD> processors{1};
    std::atomic<DWORD> pageSize{4096};
    std::atomic<bool> echoDebugOutput{false};
};
ProcessFacts facts;

FILETIME fileTimeOf(std::int64_t seconds, long nanoseconds) {
    const std::uint64_t ticks = static_cast<std::uint64_t>(seconds) * kTicksPerSecond +
                                static_cast<std::uint64_t>(nanoseconds) / 100 + kEpochDifference;
    return {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

std::uint64_t ticksOf(const FILETIME& time) {
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Days since 1970-01-01 to a civil date (proleptic Gregorian calendar).
void civilFromDays(std::int64_t days, int& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned mp = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(yearOfEra + era * 400 + (month <= 2 ? 1 : 0));
}

bool statPath(LPCSTR fileName, struct stat& st) {
    char path[MODULE_PATH_SIZE];
    if (!hostPath(path, sizeof path, fileName)) return false;
    return sys(SYS_newfstatat, AT_FDCWD, reinterpret_cast<long>(path), reinterpret_cast<long>(&st), 0) == 0;
}

// The number after "name" in a "name: value" text, or `fallback`.
std::uint64_t field(const char* text, const char* name, std::uint64_t fallback) {
    const std::size_t nameLength = std::strlen(name);
    for (const char* line = text; *line;) {
        if (std::strncmp(line, name, nameLength) == 0) {
            const char* p = line + nameLength;
            while (*p == ' ' || *p == '\t') ++p;
            if (*p < '0' || *p > '9') return fallback;
            std::uint64_t value = 0;
            for (; *p >= '0' && *p <= '9'; ++p) value = value * 10 + static_cast<std::uint64_t>(*p - '0');
            return value;
        }
        const char* end = std::strchr(line, '\n');
        if (!end) break;
        line = end + 1;
    }
    return fallback;
}

DWORD errorOf(long negativeErrno) {
    switch (-negativeErrno) {
    case EACCES:
    case EPERM:
    case EROFS: return ERROR_ACCESS_DENIED;
    case ENOENT: return ERROR_PATH_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    default: return ERROR_GEN_FAILURE;
    }
}

// The one module snapshot.
alignas(ModuleWalk) unsigned char snapshotStorage[sizeof(ModuleWalk)];
std::atomic<bool> snapshotInUse{false};
ModuleWalk* snapshot() { return std::launder(reinterpret_cast<ModuleWalk*>(snapshotStorage)); }
HANDLE snapshotHandle() { return static_cast<HANDLE>(snapshotStorage); }

// Memory reads: process_vm_readv, or /proc/self/mem where the system refuses it; a page at a time,
// so that the first unreadable byte ends the read.
std::atomic<int> readMethod{0};  // 0 not known yet, 1 process_vm_readv, 2 /proc/self/mem

long readPiece(void* to, std::uintptr_t from, std::size_t size) {
    if (readMethod.load() != 2) {
        iovec local{to, size};
        iovec remote{reinterpret_cast<void*>(from), size};
        const long got = sys(SYS_process_vm_readv, sys(SYS_getpid), reinterpret_cast<long>(&local), 1,
                             reinterpret_cast<long>(&remote), 1, 0);
        if (got != -ENOSYS && got != -EPERM) {
            readMethod.store(1);
            return got;
        }
        readMethod.store(2);
    }
    const int fd = openFile("/proc/self/mem", O_RDONLY);
    if (fd < 0) return -1;
    const long got = sys(SYS_pread64, fd, reinterpret_cast<long>(to), static_cast<long>(size), static_cast<long>(from));
    closeFile(fd);
    return got;
}

}  // namespace

void PrepareProcessFacts() {
    if (facts.prepared.exchange(true)) return;
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local)) facts.timeZoneOffset = local.tm_gmtoff;
    const long processors = sysconf(_SC_NPROCESSORS_ONLN);
    if (processors > 0) facts.processors = static_cast<DWORD>(processors);
    const long page = sysconf(_SC_PAGESIZE);
    if (page > 0) facts.pageSize = static_cast<DWORD>(page);
    facts.echoDebugOutput = std::getenv("QUORELLE_DEBUG_OUTPUT") != nullptr;
    // The reads below bind their library entries and choose the memory-read method now, not at
    // the first exception.
    char probe = 0;
    SIZE_T read = 0;
    ReadProcessMemory(INVALID_HANDLE_VALUE, &probe, &probe, 1, &read);
    threadId();
    prepareThreadHolds();
}

BOOL GetKernelName(LPSTR name, DWORD nameSize, LPSTR release, DWORD releaseSize) {
    struct utsname system{};
    if (sys(SYS_uname, reinterpret_cast<long>(&system)) != 0) return FALSE;
    if (name) copy(name, nameSize, system.sysname);
    if (release) copy(release, releaseSize, system.release);
    return TRUE;
}

DWORD GetCurrentThreadId() { return static_cast<DWORD>(threadId()); }
DWORD GetCurrentProcessId() { return static_cast<DWORD>(sys(SYS_getpid)); }

BOOL IsDebuggerPresent() {
    char status[8192];
    if (!readSmallFile("/proc/self/status", status, sizeof status)) return FALSE;
    return field(status, "TracerPid:", 0) != 0;
}

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD, SECURITY_ATTRIBUTES*, DWORD creationDisposition,
                   DWORD flagsAndAttributes, HANDLE) {
    char path[MODULE_PATH_SIZE];
    if (!hostPath(path, sizeof path, fileName)) return INVALID_HANDLE_VALUE;
    const bool reads = (desiredAccess & GENERIC_READ) != 0, writes = (desiredAccess & GENERIC_WRITE) != 0;
    int flags = reads && writes ? O_RDWR : writes ? O_WRONLY : O_RDONLY;
    switch (creationDisposition) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case OPEN_EXISTING: break;
    default: return INVALID_HANDLE_VALUE;
    }
    if (flagsAndAttributes & FILE_FLAG_WRITE_THROUGH) flags |= O_DSYNC;
    const int fd = openFile(path, flags, 0666);
    return fd < 0 ? INVALID_HANDLE_VALUE : handleOf(fd);
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED* overlapped) {
    if (written) *written = 0;
    if (overlapped || file == INVALID_HANDLE_VALUE || !file || file == snapshotHandle()) return FALSE;
    if (!writeAll(fdOf(file), buffer, toWrite)) return FALSE;
    if (written) *written = toWrite;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    if (!handle || handle == INVALID_HANDLE_VALUE) return FALSE;
    if (handle == snapshotHandle()) {
        if (!snapshotInUse.load()) return FALSE;
        snapshot()->~ModuleWalk();
        snapshotInUse.store(false);
        return TRUE;
    }
    return sys(SYS_close, fdOf(handle)) == 0;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    struct stat st{};
    if (!statPath(fileName, st)) return INVALID_FILE_ATTRIBUTES;
    return S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
}

BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, void* information) {
    struct stat st{};
    if (level != GetFileExInfoStandard || !information || !statPath(fileName, st)) return FALSE;
    auto& data = *static_cast<WIN32_FILE_ATTRIBUTE_DATA*>(information);
    data.dwFileAttributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
    data.ftCreationTime = fileTimeOf(st.st_ctim.tv_sec, st.st_ctim.tv_nsec);
    data.ftLastAccessTime = fileTimeOf(st.st_atim.tv_sec, st.st_atim.tv_nsec);
    data.ftLastWriteTime = fileTimeOf(st.st_mtim.tv_sec, st.st_mtim.tv_nsec);
    const auto size = static_cast<std::uint64_t>(st.st_size);
    data.nFileSizeHigh = static_cast<DWORD>(size >> 32);
    data.nFileSizeLow = static_cast<DWORD>(size);
    return TRUE;
}

int SHCreateDirectoryExA(HANDLE, LPCSTR path, SECURITY_ATTRIBUTES*) {
    char folder[MODULE_PATH_SIZE];
    if (!hostPath(folder, sizeof folder, path) || folder[0] == '\0') return ERROR_INVALID_PARAMETER;
    std::size_t n = length(folder, sizeof folder);
    while (n > 1 && folder[n - 1] == '/') folder[--n] = '\0';
    if (GetFileAttributesA(folder) == FILE_ATTRIBUTE_DIRECTORY) return ERROR_ALREADY_EXISTS;
    // Each parent in turn, then the folder itself.
    for (std::size_t i = 1; i <= n; ++i) {
        if (i < n && folder[i] != '/') continue;
        const char kept = folder[i];
        folder[i] = '\0';
        const long made = sys(SYS_mkdirat, AT_FDCWD, reinterpret_cast<long>(folder), 0777);
        folder[i] = kept;
        if (made != 0 && made != -EEXIST) return static_cast<int>(errorOf(made));
    }
    return GetFileAttributesA(folder) == FILE_ATTRIBUTE_DIRECTORY ? ERROR_SUCCESS : ERROR_PATH_NOT_FOUND;
}

void OutputDebugStringA(LPCSTR text) {
    if (!text || !facts.echoDebugOutput.load()) return;
    writeAll(STDERR_FILENO, text, length(text, 65536));
}

void GetSystemTimeAsFileTime(FILETIME* time) {
    if (!time) return;
    timespec now{};
    sys(SYS_clock_gettime, CLOCK_REALTIME, reinterpret_cast<long>(&now));
    *time = fileTimeOf(now.tv_sec, now.tv_nsec);
}

BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime) {
    if (!fileTime || !localTime) return FALSE;
    const std::uint64_t ticks = ticksOf(*fileTime) +
                                static_cast<std::uint64_t>(facts.timeZoneOffset.load() * static_cast<long>(kTicksPerSecond));
    *localTime = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    return TRUE;
}

BOOL FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime) {
    if (!fileTime || !fatDate || !fatTime) return FALSE;
    const std::uint64_t ticks = ticksOf(*fileTime);
    if (ticks < kEpochDifference) return FALSE;
    const auto seconds = static_cast<std::int64_t>((ticks - kEpochDifference) / kTicksPerSecond);
    int year;
    unsigned month, day;
    civilFromDays(seconds / 86400, year, month, day);
    if (year < 1980 || year > 2107) return FALSE;
    const auto secondOfDay = static_cast<unsigned>(seconds % 86400);
    *fatDate = static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
    *fatTime = static_cast<WORD>(((secondOfDay / 3600) << 11) | (((secondOfDay / 60) % 60) << 5) | ((secondOfDay % 60) / 2));
    return TRUE;
}

void Sleep(DWORD milliseconds) {
    timespec wait{static_cast<time_t>(milliseconds / 1000), static_cast<long>(milliseconds % 1000) * 1000000L};
    while (sys(SYS_nanosleep, reinterpret_cast<long>(&wait), reinterpret_cast<long>(&wait)) == -EINTR) {
    }
}

void GetSystemInfo(SYSTEM_INFO* info) {
    if (!info) return;
    *info = {};
    info->wProcessorArchitecture = 9;  // PROCESSOR_ARCHITECTURE_AMD64
    info->dwPageSize = facts.pageSize.load();
    info->lpMinimumApplicationAddress = reinterpret_cast<void*>(kLowestUserAddress);
    info->lpMaximumApplicationAddress = reinterpret_cast<void*>(kHighestUserAddress);
    info->dwNumberOfProcessors = facts.processors.load();
    info->dwActiveProcessorMask = info->dwNumberOfProcessors >= 64 ? ~ULONG_PTR{0}
                                                                   : (ULONG_PTR{1} << info->dwNumberOfProcessors) - 1;
    info->dwProcessorType = PROCESSOR_AMD_X8664;
    info->dwAllocationGranularity = 65536;
}

BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status) {
    if (!status || status->dwLength != sizeof(MEMORYSTATUSEX)) return FALSE;
    char meminfo[8192];
    if (!readSmallFile("/proc/meminfo", meminfo, sizeof meminfo)) return FALSE;
    constexpr std::uint64_t kKiB = 1024;
    const std::uint64_t total = field(meminfo, "MemTotal:", 0) * kKiB;
    const std::uint64_t available = field(meminfo, "MemAvailable:", field(meminfo, "MemFree:", 0)) * kKiB;
    const std::uint64_t swapTotal = field(meminfo, "SwapTotal:", 0) * kKiB;
    const std::uint64_t swapFree = field(meminfo, "SwapFree:", 0) * kKiB;
    status->ullTotalPhys = total;
    status->ullAvailPhys = available;
    status->dwMemoryLoad = total ? static_cast<DWORD>((total - available) * 100 / total) : 0;
    status->ullTotalPageFile = total + swapTotal;
    status->ullAvailPageFile = available + swapFree;
    status->ullTotalVirtual = kHighestUserAddress + 1 - kLowestUserAddress;
    char statm[256];
    std::uint64_t used = 0;
    if (readSmallFile("/proc/self/statm", statm, sizeof statm)) {
        for (const char* p = statm; *p >= '0' && *p <= '9'; ++p) used = used * 10 + static_cast<std::uint64_t>(*p - '0');
        used *= facts.pageSize.load();
    }
    status->ullAvailVirtual = used < status->ullTotalVirtual ? status->ullTotalVirtual - used : 0;
    status->ullAvailExtendedVirtual = 0;
    return TRUE;
}

BOOL ReadProcessMemory(HANDLE, LPCVOID base, LPVOID buffer, SIZE_T size, SIZE_T* read) {
    SIZE_T done = 0;
    const std::uintptr_t page = facts.pageSize.load();
    auto from = reinterpret_cast<std::uintptr_t>(base);
    auto* to = static_cast<char*>(buffer);
    while (done < size) {
        const std::uintptr_t toPageEnd = page - (from + done) % page;
        const SIZE_T piece = size - done < toPageEnd ? size - done : toPageEnd;
        const long got = readPiece(to + done, from + done, piece);
        if (got <= 0) break;
        done += static_cast<SIZE_T>(got);
        if (static_cast<SIZE_T>(got) < piece) break;
    }
    if (read) *read = done;
    return done == size;
}

HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId) {
    if (!(flags & TH32CS_SNAPMODULE) || (processId != 0 && processId != GetCurrentProcessId())) return INVALID_HANDLE_VALUE;
    if (snapshotInUse.exchange(true)) return INVALID_HANDLE_VALUE;
    new (snapshotStorage) ModuleWalk;
    return snapshotHandle();
}

BOOL Module32First(HANDLE snapshotHandleIn, MODULEENTRY32* entry) {
    if (snapshotHandleIn != snapshotHandle() || !snapshotInUse.load() || !entry) return FALSE;
    // Start the walk again from the first mapping.
    snapshot()->~ModuleWalk();
    new (snapshotStorage) ModuleWalk;
    return nextModule(*snapshot(), *entry);
}

BOOL Module32Next(HANDLE snapshotHandleIn, MODULEENTRY32* entry) {
    if (snapshotHandleIn != snapshotHandle() || !snapshotInUse.load() || !entry) return FALSE;
    return nextModule(*snapshot(), *entry);
}

}  // namespace seh
