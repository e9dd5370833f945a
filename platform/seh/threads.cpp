// The other threads held still while a dump is written. Each is sent a signal of its own, whose
// handler keeps the thread's registers in a slot and waits until the dump is written. A thread that
// does not answer within kAnswerWait (it blocks the signal, or it is ending) is given its last known
// state: the stack and instruction pointers that the system shows for a thread waiting in a system
// call; so is every other thread while a debugger traces the process. Everything here is safe in a
// signal handler: raw system calls, fixed slots, no lock. A held thread waits at most kHoldWait, so
// that a dump that never ends holds nobody for ever.
#include <signal.h>
#include <sys/syscall.h>
#include <linux/futex.h>
#include <fcntl.h>
#include <time.h>

#include <atomic>
#include <cerrno>

#include "seh/seh_internal.h"

namespace seh::detail {
namespace {

constexpr DWORD kAnswerWait = 500;  // milliseconds
constexpr int kHoldWait = 1000;  // steps of 10 ms
constexpr DWORD kStateTries = 20;
constexpr long kHoldStepNanoseconds = 10 * 1000 * 1000;

enum SlotState : int { kFree, kAsked, kAnswering, kAnswered, kGivenUp };

struct Slot {
    std::atomic<pid_t> tid{0};
    std::atomic<int> state{kFree};
    CONTEXT context{};
};

Slot slots[kMaxDumpThreads];
std::atomic<int> holding{0};  // 1 while a dump is written; the held threads wait on it
static_assert(sizeof(std::atomic<int>) == sizeof(int), "the hold word is waited on as a futex");
std::atomic<int> holdSignal{0};  // 0 until the handler is installed

int* holdWord() { return reinterpret_cast<int*>(&holding); }

void onHold(int, siginfo_t* info, void* ucontext) {
    // Only this process's own request: a signal sent from elsewhere is ignored.
    if (!info || !ucontext || info->si_code != SI_TKILL || info->si_pid != static_cast<pid_t>(sys(SYS_getpid))) return;
    const pid_t tid = threadId();
    for (Slot& slot : slots) {
        if (slot.tid.load(std::memory_order_acquire) != tid) continue;
        int asked = kAsked;
        if (!slot.state.compare_exchange_strong(asked, kAnswering)) return;  // the dump no longer waits
        contextOf(*static_cast<const ucontext_t*>(ucontext), slot.context);
        slot.state.store(kAnswered, std::memory_order_release);
        timespec step{0, kHoldStepNanoseconds};
        for (int n = 0; n < kHoldWait && holding.load() == 1; ++n)
            sys(SYS_futex, reinterpret_cast<long>(holdWord()), FUTEX_WAIT_PRIVATE, 1, reinterpret_cast<long>(&step));
        return;
    }
}

// "/proc/self/task/<tid>/<leaf>".
void taskPath(char (&path)[64], pid_t tid, const char* leaf) {
    char digits[16];
    std::size_t n = 0;
    for (auto value = static_cast<unsigned>(tid); n == 0 || value != 0; value /= 10) digits[n++] = static_cast<char>('0' + value % 10);
    copy(path, sizeof path, "/proc/self/task/");
    std::size_t at = length(path, sizeof path);
    while (n > 0) path[at++] = digits[--n];
    path[at] = '\0';
    append(path, sizeof path, leaf);
}

// A hexadecimal number "0x..." at p; p moves past it.
std::uint64_t hexAt(const char*& p) {
    if (p[0] == '0' && p[1] == 'x') p += 2;
    std::uint64_t value = 0;
    for (;; ++p) {
        const char c = *p;
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0) return value;
        value = value * 16 + static_cast<std::uint64_t>(digit);
    }
}

// The last known state of a thread that waits in the system: the system's "syscall" line of the
// task ends with its stack pointer and instruction pointer ("running" for a thread that runs: it is
// read again a few times, as a thread that wakes for a moment soon waits again).
bool lastKnownState(pid_t tid, CONTEXT& context) {
    char path[64];
    taskPath(path, tid, "/syscall");
    char line[256];
    bool waits = false;
    for (DWORD tries = 0; !waits && tries < kStateTries; ++tries) {
        if (!readSmallFile(path, line, sizeof line)) return false;
        waits = line[0] >= '-' && line[0] <= '9';
        if (!waits) seh::Sleep(1);
    }
    if (!waits) return false;
    std::uint64_t words[9] = {};
    std::size_t count = 0;
    for (const char* p = line; *p && *p != '\n' && count < 9;) {
        if (*p == ' ') {
            ++p;
            continue;
        }
        if (*p == '-') {  // no system call: "-1 sp pc"
            ++p;
            hexAt(p);
            words[count++] = 0;
            continue;
        }
        words[count++] = hexAt(p);
        while (*p && *p != ' ' && *p != '\n') ++p;
    }
    if (count < 3) return false;
    context = {};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;
    context.Rsp = words[count - 2];
    context.Rip = words[count - 1];
    return context.Rsp != 0;
}

// The threads of the process, by the task folder's entries.
std::size_t listThreads(pid_t except, pid_t* tids, std::size_t capacity) {
    struct Entry {
        std::uint64_t inode;
        std::int64_t offset;
        std::uint16_t size;
        std::uint8_t type;
        char name[1];
    };
    const int fd = openFile("/proc/self/task", O_RDONLY | O_DIRECTORY);
    if (fd < 0) return 0;
    alignas(8) static char buffer[8192];
    std::size_t count = 0;
    for (;;) {
        const long got = sys(SYS_getdents64, fd, reinterpret_cast<long>(buffer), sizeof buffer);
        if (got <= 0) break;
        for (long at = 0; at < got;) {
            const auto* entry = reinterpret_cast<const Entry*>(buffer + at);
            at += entry->size;
            pid_t tid = 0;
            const char* p = entry->name;
            for (; *p >= '0' && *p <= '9'; ++p) tid = tid * 10 + (*p - '0');
            if (*p != '\0' || tid == 0 || tid == except || count == capacity) continue;
            tids[count++] = tid;
        }
    }
    closeFile(fd);
    return count;
}

}  // namespace

void prepareThreadHolds() {
    if (holdSignal.load() != 0) return;
    const int signal = SIGRTMIN + 3;
    struct sigaction action{};
    action.sa_sigaction = onHold;
    // On the alternate stack where there is one: the thread's own stack may be nearly full.
    action.sa_flags = SA_SIGINFO | SA_RESTART | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    if (sigaction(signal, &action, nullptr) == 0) holdSignal.store(signal);
}

std::size_t holdOtherThreads(ThreadState* threads, std::size_t capacity) {
    if (capacity > kMaxDumpThreads) capacity = kMaxDumpThreads;
    static pid_t tids[kMaxDumpThreads];
    const pid_t self = threadId();
    std::size_t count = listThreads(self, tids, capacity);
    // A debugger may stop at the signal (and one run in batch mode then ends the process there):
    // under a debugger every other thread is written by its last known state.
    const int signal = IsDebuggerPresent() ? 0 : holdSignal.load();
    const long process = sys(SYS_getpid);
    holding.store(1);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < count; ++i) {
        Slot& slot = slots[kept];
        slot.state.store(kAsked);
        slot.tid.store(tids[i], std::memory_order_release);
        // A thread that ended since the listing is no longer the process's. Without the handler
        // (the facts were never prepared) no thread is asked: the signal would end the process.
        const long sent = signal ? sys(SYS_tgkill, process, tids[i], signal) : -ENOSYS;
        if (sent == -ESRCH) {
            slot.state.store(kFree);
            slot.tid.store(0);
            continue;
        }
        if (sent != 0) slot.state.store(kGivenUp);
        ++kept;
    }
    count = kept;
    for (DWORD waited = 0; waited < kAnswerWait; ++waited) {
        bool all = true;
        for (std::size_t i = 0; i < count && all; ++i) all = slots[i].state.load() >= kAnswered;
        if (all) break;
        seh::Sleep(1);
    }
    for (std::size_t i = 0; i < count; ++i) {
        Slot& slot = slots[i];
        int asked = kAsked;
        if (slot.state.compare_exchange_strong(asked, kGivenUp) || asked == kGivenUp) {
            threads[i].tid = slot.tid.load();
            threads[i].known = lastKnownState(threads[i].tid, threads[i].context);
            continue;
        }
        while (slot.state.load(std::memory_order_acquire) != kAnswered) {
        }  // the handler is copying the registers: a few instructions
        threads[i].tid = slot.tid.load();
        threads[i].known = true;
        threads[i].context = slot.context;
    }
    return count;
}

void releaseThreads() {
    holding.store(0);
    sys(SYS_futex, reinterpret_cast<long>(holdWord()), FUTEX_WAKE_PRIVATE, 0x7FFFFFFF);
    for (Slot& slot : slots) {
        slot.tid.store(0);
        slot.state.store(kFree);
    }
}

}  // namespace seh::detail
