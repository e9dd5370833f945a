// Inside the structured-exception stand-in: raw system calls, bounded text helpers, the table of
// guarded threads and the mapping-list reader. Everything here is safe in a signal handler.
#pragma once

#include <sys/types.h>
#include <ucontext.h>

#include <atomic>
#include <csetjmp>
#include <cstddef>
#include <cstdint>

#include "seh/seh.h"

namespace seh::detail {

// ---- raw system calls (errno is not relied on: failures are negative results)
long sys(long number, long a = 0, long b = 0, long c = 0, long d = 0, long e = 0, long f = 0);
pid_t threadId();
int openFile(const char* path, int flags, int mode = 0);
long readFile(int fd, void* buffer, std::size_t size);
// Writes all of `size` bytes (retrying short writes); false on failure.
bool writeAll(int fd, const void* buffer, std::size_t size);
bool writeAllAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset);
void closeFile(int fd);
// A small file of /proc read whole into `buffer` (terminated); false when it cannot be read.
bool readSmallFile(const char* path, char* buffer, std::size_t size);

// Handles of the calls: file descriptors shifted by one, so that none is null or -1.
inline HANDLE handleOf(int fd) { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(fd) + 1); }
inline int fdOf(HANDLE handle) { return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1); }

// ---- bounded text
std::size_t length(const char* text, std::size_t limit);
// Copies at most size - 1 characters and terminates; returns the copied length.
std::size_t copy(char* to, std::size_t size, const char* from);
// Appends at the terminator of `to`; returns the new length.
std::size_t append(char* to, std::size_t size, const char* from);
// The host path: "\" becomes "/".
bool hostPath(char* to, std::size_t size, const char* from);

// ---- guarded threads
struct GuardFrame {
    PEXCEPTION_FILTER filter;
    void* parameter;
    GuardFrame* outer;
};

struct GuardedThread {
    std::atomic<pid_t> tid{0};
    GuardFrame* frame = nullptr;         // innermost guard
    std::uintptr_t stackLow = 0;         // [stackLow, stackHigh): the thread's stack
    std::uintptr_t stackHigh = 0;
    std::uintptr_t guardSize = 0;        // the inaccessible pages below stackLow
    std::atomic<bool> inFilter{false};   // the filter runs on this thread
    sigjmp_buf* probe = nullptr;         // recovery point of the running Probe
};

// The calling thread's entry, or null when no guard covers it.
GuardedThread* currentGuardedThread();

// The registers of a signal's context, as the platform describes a thread's context.
void contextOf(const ucontext_t& uc, CONTEXT& context);

// ---- the other threads held still while a dump is written
constexpr std::size_t kMaxDumpThreads = 1024;

struct ThreadState {
    pid_t tid = 0;
    bool known = false;  // false: neither the thread nor the system told its registers
    CONTEXT context{};
};

// Installs the handler of the signal that holds a thread (at start-up, not inside a filter).
void prepareThreadHolds();
// Lists the process's threads other than the calling one into `threads` (at most `capacity`) and
// holds each until releaseThreads: its registers are those at the hold, or, for a thread that did
// not answer within a short bound, its last known state. Returns how many were listed.
std::size_t holdOtherThreads(ThreadState* threads, std::size_t capacity);
void releaseThreads();

// ---- the mapping list (/proc/self/maps), read line by line without allocating
struct Mapping {
    std::uintptr_t start = 0;
    std::uintptr_t end = 0;
    std::uint64_t offset = 0;
    std::uint64_t inode = 0;
    unsigned long device = 0;
    bool readable = false;
    char path[MODULE_PATH_SIZE] = {};  // empty for anonymous memory
};

class MappingReader {
public:
    MappingReader();
    ~MappingReader();
    MappingReader(const MappingReader&) = delete;
    MappingReader& operator=(const MappingReader&) = delete;
    bool next(Mapping& mapping);

private:
    bool nextLine(char*& line);
    int fd_ = -1;
    char buffer_[16384];
    std::size_t begin_ = 0, end_ = 0;
    bool eof_ = false;
};

// Module walk shared by the snapshot calls and the dump writer: the ELF images mapped from files,
// each from its mapping at file offset 0 to the end of the last mapping of the same file that
// follows it. `state` keeps the walk's position.
struct ModuleWalk {
    MappingReader reader;
    Mapping pending;
    bool hasPending = false;
};
bool nextModule(ModuleWalk& walk, MODULEENTRY32& entry);

// The mapping that holds `address`: false when none does.
bool findMapping(std::uintptr_t address, Mapping& mapping);

}  // namespace seh::detail
