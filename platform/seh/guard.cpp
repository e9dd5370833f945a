// The structured exception guard: the fault signals and the terminate handler turned into the
// platform's exceptions, on an alternate stack per guarded thread.
//
// One signal handler serves every guarded thread; it finds the thread in a fixed table by its
// thread identifier (no thread-local storage, whose first use may allocate). Filters run one at a
// time: an exception on a second thread waits, at most kFilterWait, for the running filter, so that
// a report being written is never cut short by another thread's fault. After a filter the process
// ends by the exception's signal with its default action.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <exception>

#include "seh/seh_internal.h"

namespace seh::detail {
namespace {

constexpr int kGuardedSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP, SIGABRT};
constexpr std::size_t kMaxGuardedThreads = 256;
constexpr std::size_t kAlternateStackSize = 1024 * 1024;  // the report's formatting and the dump writer run on it
constexpr std::uintptr_t kStackOverflowReach = 1024 * 1024;  // below the stack: the system's guard gap
constexpr DWORD kFilterWaitMilliseconds = 10000;

GuardedThread threads[kMaxGuardedThreads];
struct sigaction previousActions[NSIG];
std::terminate_handler previousTerminate = nullptr;
std::atomic<bool> installed{false};
std::atomic<pid_t> filterOwner{0};  // the thread whose filter runs (kept: the process then ends)

GuardedThread* claimThread(pid_t tid) {
    for (GuardedThread& thread : threads) {
        pid_t expected = 0;
        if (thread.tid.compare_exchange_strong(expected, tid)) return &thread;
    }
    return nullptr;
}

// Waits until no other thread's filter runs and takes the turn; false after the bounded wait.
bool takeFilterTurn(pid_t tid) {
    for (DWORD waited = 0;; ++waited) {
        pid_t expected = 0;
        if (filterOwner.compare_exchange_strong(expected, tid) || expected == tid) return true;
        if (waited >= kFilterWaitMilliseconds) return false;
        seh::Sleep(1);
    }
}

// A fault that the kernel raised for an instruction: returning runs the instruction again, which
// faults again.
bool faultsAgain(int signal, const siginfo_t* info) {
    return info && info->si_code > 0 && info->si_code != SI_KERNEL &&
           (signal == SIGSEGV || signal == SIGBUS || signal == SIGILL || signal == SIGFPE);
}

void raiseAgain(int signal, const siginfo_t* info) {
    if (faultsAgain(signal, info)) return;
    sys(SYS_tgkill, sys(SYS_getpid), threadId(), signal);
}

// Ends the process by the signal with its default action.
void endBySignal(int signal, const siginfo_t* info) {
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigaction(signal, &action, nullptr);
    raiseAgain(signal, info);
}

// A thread that no guard covers: the path the signal would take without guards.
void passOn(int signal, const siginfo_t* info) {
    // A filter writing its report on another thread is let finish first.
    for (DWORD waited = 0; filterOwner.load() != 0 && waited < kFilterWaitMilliseconds; ++waited) seh::Sleep(1);
    sigaction(signal, &previousActions[signal], nullptr);
    raiseAgain(signal, info);
}

DWORD codeOf(int signal, const siginfo_t& info, const GuardedThread& thread, std::uintptr_t address) {
    switch (signal) {
    case SIGSEGV: {
        const std::uintptr_t low = thread.stackLow;
        const std::uintptr_t reach = thread.guardSize > kStackOverflowReach ? thread.guardSize : kStackOverflowReach;
        if (low != 0 && address < low + 4096 && address + reach >= low) return EXCEPTION_STACK_OVERFLOW;
        return EXCEPTION_ACCESS_VIOLATION;
    }
    case SIGBUS: return info.si_code == BUS_ADRALN ? EXCEPTION_DATATYPE_MISALIGNMENT : EXCEPTION_IN_PAGE_ERROR;
    case SIGILL:
        return info.si_code == ILL_PRVOPC || info.si_code == ILL_PRVREG ? EXCEPTION_PRIV_INSTRUCTION
                                                                        : EXCEPTION_ILLEGAL_INSTRUCTION;
    case SIGFPE:
        switch (info.si_code) {
        case FPE_INTDIV: return EXCEPTION_INT_DIVIDE_BY_ZERO;
        case FPE_INTOVF: return EXCEPTION_INT_OVERFLOW;
        case FPE_FLTDIV: return EXCEPTION_FLT_DIVIDE_BY_ZERO;
        case FPE_FLTOVF: return EXCEPTION_FLT_OVERFLOW;
        case FPE_FLTUND: return EXCEPTION_FLT_UNDERFLOW;
        case FPE_FLTRES: return EXCEPTION_FLT_INEXACT_RESULT;
        case FPE_FLTSUB: return EXCEPTION_ARRAY_BOUNDS_EXCEEDED;
        default: return EXCEPTION_FLT_INVALID_OPERATION;
        }
    case SIGTRAP: return info.si_code == TRAP_TRACE ? EXCEPTION_SINGLE_STEP : EXCEPTION_BREAKPOINT;
    default: return STATUS_FATAL_APP_EXIT;
    }
}

void runFilter(GuardedThread& thread, EXCEPTION_RECORD& record, CONTEXT& context) {
    EXCEPTION_POINTERS pointers{&record, &context};
    thread.inFilter = true;
    thread.frame->filter(&pointers, thread.frame->parameter);
}

void onSignal(int signal, siginfo_t* info, void* ucontext) {
    const int savedErrno = errno;
    GuardedThread* thread = currentGuardedThread();
    if (!thread || !thread->frame || !info || !ucontext) {
        passOn(signal, info);
    } else if (thread->inFilter) {
        // A fault inside the filter: back to the running Probe, else the process ends by it.
        if (thread->probe) siglongjmp(*thread->probe, 1);
        endBySignal(signal, info);
    } else {
        takeFilterTurn(thread->tid.load());
        const auto& uc = *static_cast<const ucontext_t*>(ucontext);
        CONTEXT context;
        contextOf(uc, context);
        EXCEPTION_RECORD record{};
        const auto address = reinterpret_cast<std::uintptr_t>(info->si_addr);
        record.ExceptionCode = codeOf(signal, *info, *thread, info->si_code > 0 ? address : 0);
        record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
        if (record.ExceptionCode == EXCEPTION_BREAKPOINT && info->si_code == SI_KERNEL) {
            // The trap instruction itself, as the platform reports a breakpoint.
            record.ExceptionAddress = reinterpret_cast<void*>(context.Rip - 1);
        }
        // Only a fault that the processor raised has an access and an address (a signal sent by a
        // process carries the sender's identity there).
        if ((signal == SIGSEGV || signal == SIGBUS) && info->si_code > 0 && info->si_code != SI_KERNEL) {
            constexpr greg_t kWrite = 0x2, kFetch = 0x10;  // page-fault error code bits
            const greg_t error = uc.uc_mcontext.gregs[REG_ERR];
            record.NumberParameters = 2;
            record.ExceptionInformation[0] = (error & kFetch) ? 8 : (error & kWrite) ? 1 : 0;
            record.ExceptionInformation[1] = address;
        } else if (signal == SIGSEGV && info->si_code == SI_KERNEL) {
            // A protection fault (a non-canonical address): no address is known, as the platform
            // reports it.
            record.NumberParameters = 2;
            record.ExceptionInformation[0] = 0;
            record.ExceptionInformation[1] = ~ULONG_PTR{0};
        }
        if (signal == SIGABRT) record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
        runFilter(*thread, record, context);
        endBySignal(signal, info);
    }
    errno = savedErrno;
}

[[noreturn]] void onTerminate() {
    GuardedThread* thread = currentGuardedThread();
    if (!thread || !thread->frame || thread->inFilter) {
        if (previousTerminate) previousTerminate();
        std::abort();
    }
    takeFilterTurn(thread->tid.load());
    ucontext_t uc;
    getcontext(&uc);
    CONTEXT context;
    contextOf(uc, context);
    // getcontext keeps no segment registers: they are read here.
    unsigned short cs = 0, ss = 0;
    asm volatile("mov %%cs, %0" : "=r"(cs));
    asm volatile("mov %%ss, %0" : "=r"(ss));
    context.SegCs = cs;
    context.SegSs = ss;
    EXCEPTION_RECORD record{};
    record.ExceptionCode = EXCEPTION_CPP;
    record.ExceptionFlags = EXCEPTION_NONCONTINUABLE;
    record.ExceptionAddress = reinterpret_cast<void*>(context.Rip);
    runFilter(*thread, record, context);
    struct sigaction action{};
    action.sa_handler = SIG_DFL;
    sigaction(SIGABRT, &action, nullptr);
    std::abort();
}

void installOnce() {
    if (installed.exchange(true)) return;
    struct sigaction action{};
    action.sa_sigaction = onSignal;
    // SA_NODEFER: a fault inside a filter comes back to the handler, which returns to its Probe.
    action.sa_flags = SA_SIGINFO | SA_ONSTACK | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (int signal : kGuardedSignals) sigaction(signal, &action, &previousActions[signal]);
    previousTerminate = std::set_terminate(onTerminate);
}

// Records the thread's stack and gives it an alternate stack for the handler.
struct ThreadSetUp {
    void* alternate = MAP_FAILED;
    stack_t previous{};
    bool replaced = false;

    void begin(GuardedThread& thread) {
        pthread_attr_t attributes;
        if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
            void* low = nullptr;
            std::size_t size = 0, guard = 0;
            if (pthread_attr_getstack(&attributes, &low, &size) == 0) {
                thread.stackLow = reinterpret_cast<std::uintptr_t>(low);
                thread.stackHigh = thread.stackLow + size;
            }
            if (pthread_attr_getguardsize(&attributes, &guard) == 0) thread.guardSize = guard;
            pthread_attr_destroy(&attributes);
        }
        alternate = mmap(nullptr, kAlternateStackSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (alternate == MAP_FAILED) return;
        stack_t stack{};
        stack.ss_sp = alternate;
        stack.ss_size = kAlternateStackSize;
        replaced = sigaltstack(&stack, &previous) == 0;
    }

    void end(GuardedThread& thread) {
        if (replaced) {
            // The previous stack, or none (a disabled stack is restored as disabled).
            if (previous.ss_flags & SS_DISABLE) {
                stack_t none{};
                none.ss_flags = SS_DISABLE;
                sigaltstack(&none, nullptr);
            } else {
                sigaltstack(&previous, nullptr);
            }
        }
        if (alternate != MAP_FAILED) munmap(alternate, kAlternateStackSize);
        thread.stackLow = thread.stackHigh = thread.guardSize = 0;
        thread.probe = nullptr;
        thread.inFilter = false;
        thread.tid.store(0);
    }
};

}  // namespace

void contextOf(const ucontext_t& uc, CONTEXT& context) {
    const greg_t* r = uc.uc_mcontext.gregs;
    context = {};
    context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;
    context.Rax = static_cast<DWORD64>(r[REG_RAX]);
    context.Rcx = static_cast<DWORD64>(r[REG_RCX]);
    context.Rdx = static_cast<DWORD64>(r[REG_RDX]);
    context.Rbx = static_cast<DWORD64>(r[REG_RBX]);
    context.Rsp = static_cast<DWORD64>(r[REG_RSP]);
    context.Rbp = static_cast<DWORD64>(r[REG_RBP]);
    context.Rsi = static_cast<DWORD64>(r[REG_RSI]);
    context.Rdi = static_cast<DWORD64>(r[REG_RDI]);
    context.R8 = static_cast<DWORD64>(r[REG_R8]);
    context.R9 = static_cast<DWORD64>(r[REG_R9]);
    context.R10 = static_cast<DWORD64>(r[REG_R10]);
    context.R11 = static_cast<DWORD64>(r[REG_R11]);
    context.R12 = static_cast<DWORD64>(r[REG_R12]);
    context.R13 = static_cast<DWORD64>(r[REG_R13]);
    context.R14 = static_cast<DWORD64>(r[REG_R14]);
    context.R15 = static_cast<DWORD64>(r[REG_R15]);
    context.Rip = static_cast<DWORD64>(r[REG_RIP]);
    context.EFlags = static_cast<DWORD>(r[REG_EFL]);
    // cs, gs, fs and (when the kernel saved it) ss, 16 bits each.
    const auto segments = static_cast<std::uint64_t>(r[REG_CSGSFS]);
    context.SegCs = static_cast<WORD>(segments);
    context.SegGs = static_cast<WORD>(segments >> 16);
    context.SegFs = static_cast<WORD>(segments >> 32);
    constexpr unsigned long kSavedSs = 0x2;  // UC_SIGCONTEXT_SS
    if (uc.uc_flags & kSavedSs) {
        context.SegSs = static_cast<WORD>(segments >> 48);
    } else {
        unsigned short ss = 0;
        asm volatile("mov %%ss, %0" : "=r"(ss));
        context.SegSs = ss;
    }
    unsigned short ds = 0, es = 0;
    asm volatile("mov %%ds, %0" : "=r"(ds));
    asm volatile("mov %%es, %0" : "=r"(es));
    context.SegDs = ds;
    context.SegEs = es;
}

GuardedThread* currentGuardedThread() {
    const pid_t tid = threadId();
    for (GuardedThread& thread : threads)
        if (thread.tid.load(std::memory_order_acquire) == tid) return &thread;
    return nullptr;
}

}  // namespace seh::detail

namespace seh {

using namespace detail;

int Guard(int (*body)(void*), void* parameter, PEXCEPTION_FILTER filter, void* filterParameter) noexcept {
    PrepareProcessFacts();
    installOnce();
    GuardedThread* thread = currentGuardedThread();
    ThreadSetUp setUp;
    const bool outermost = thread == nullptr;
    if (outermost) {
        thread = claimThread(threadId());
        // More guarded threads than the table holds: this one runs without a guard.
        if (!thread) return body(parameter);
        setUp.begin(*thread);
    }
    GuardFrame frame{filter, filterParameter, thread->frame};
    thread->frame = &frame;
    // An exception escaping body meets this function's noexcept: the terminate handler, with the
    // stack still standing.
    const int result = body(parameter);
    thread->frame = frame.outer;
    if (outermost) setUp.end(*thread);
    return result;
}

BOOL Probe(void (*fn)(void*), void* parameter) {
    GuardedThread* thread = currentGuardedThread();
    if (!thread || !thread->inFilter) {
        fn(parameter);
        return TRUE;
    }
    sigjmp_buf recovery;
    sigjmp_buf* const outer = thread->probe;
    if (sigsetjmp(recovery, 1) == 0) {
        thread->probe = &recovery;
        fn(parameter);
        thread->probe = outer;
        return TRUE;
    }
    thread->probe = outer;
    return FALSE;
}

void GetCurrentThreadStackLimits(ULONG_PTR* low, ULONG_PTR* high) {
    const GuardedThread* thread = currentGuardedThread();
    if (low) *low = thread ? thread->stackLow : 0;
    if (high) *high = thread ? thread->stackHigh : 0;
}

}  // namespace seh
