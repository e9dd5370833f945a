// A process that raises one exception inside a guard, for the guard's tests. Its filter records what
// it was given into "<folder>/record-N" (N counts the filters run) and writes "<folder>/crash.dmp".
//
//   seh_crash_child KIND FOLDER
#include <sys/mman.h>
#include <sys/syscall.h>
#include <csignal>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <thread>

#include "seh/dbghelp.h"
#include "seh/seh.h"

namespace {

char folder[1024];
const char* kind = "";
std::atomic<int> filters{0};
std::atomic<int> ready{0};

// A line "name value" in hexadecimal, formatted without the library.
void field(HANDLE file, const char* name, std::uint64_t value) {
    char line[64];
    std::size_t n = 0;
    while (*name) line[n++] = *name++;
    line[n++] = ' ';
    for (int shift = 60; shift >= 0; shift -= 4) line[n++] = "0123456789abcdef"[(value >> shift) & 0xF];
    line[n++] = '\n';
    seh::WriteFile(file, line, static_cast<DWORD>(n), nullptr, nullptr);
}

void text(HANDLE file, const char* name, const char* value) {
    seh::WriteFile(file, name, static_cast<DWORD>(std::strlen(name)), nullptr, nullptr);
    seh::WriteFile(file, " ", 1, nullptr, nullptr);
    if (value) seh::WriteFile(file, value, static_cast<DWORD>(std::strlen(value)), nullptr, nullptr);
    seh::WriteFile(file, "\n", 1, nullptr, nullptr);
}

std::uint64_t now() {
    FILETIME time;
    seh::GetSystemTimeAsFileTime(&time);
    return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// A null pointer that the compiler cannot see as null: the access is done, not optimised away.
volatile int* volatile nullPointer = nullptr;
volatile int zero = 0, seven = 7;

// The undefined-behaviour checker would stop these faults before they happen.
#define FAULTS __attribute__((noinline, no_sanitize("undefined")))

FAULTS void readNull() {
    const int value = *nullPointer;
    (void)value;
}

LONG recordingFilter(EXCEPTION_POINTERS* pointers, void* label) {
    const int n = ++filters;
    char path[1100];
    std::strcpy(path, folder);
    std::strcat(path, "/record-");
    const char digit[2] = {static_cast<char>('0' + n), 0};
    std::strcat(path, digit);
    HANDLE file = seh::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    field(file, "begin", now());
    text(file, "label", static_cast<const char*>(label));
    const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
    field(file, "code", record.ExceptionCode);
    field(file, "parameters", record.NumberParameters);
    for (DWORD i = 0; i < record.NumberParameters && i < 2; ++i) field(file, "parameter", record.ExceptionInformation[i]);
    field(file, "address", reinterpret_cast<std::uintptr_t>(record.ExceptionAddress));
    field(file, "rip", pointers->ContextRecord->Rip);
    field(file, "rsp", pointers->ContextRecord->Rsp);
    field(file, "cs", pointers->ContextRecord->SegCs);
    field(file, "thread", seh::GetCurrentThreadId());
    if (std::strcmp(kind, "probe") == 0) {
        auto faulting = [] { readNull(); };
        field(file, "probe", static_cast<std::uint64_t>(seh::Probe(faulting)));
    }
    if (std::strcmp(kind, "filter-fault") == 0) readNull();
    if (std::strcmp(kind, "two-threads") == 0) seh::Sleep(200);
    if (n == 1) {
        char dump[1100];
        std::strcpy(dump, folder);
        std::strcat(dump, "/crash.dmp");
        HANDLE out = seh::CreateFileA(dump, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_FLAG_WRITE_THROUGH, nullptr);
        MINIDUMP_EXCEPTION_INFORMATION information{seh::GetCurrentThreadId(), pointers, FALSE};
        field(file, "dump", static_cast<std::uint64_t>(seh::MiniDumpWriteDump(
                                INVALID_HANDLE_VALUE, seh::GetCurrentProcessId(), out, MiniDumpNormal, &information,
                                nullptr, nullptr)));
        seh::CloseHandle(out);
    }
    field(file, "end", now());
    seh::CloseHandle(file);
    return EXCEPTION_EXECUTE_HANDLER;
}

volatile bool deeper = true;  // always: the stack overflows

[[gnu::noinline]] int recurse(int depth) {
    volatile char frame[512];
    frame[0] = static_cast<char>(depth);
    return deeper ? recurse(depth + 1) + frame[0] : 0;
}

FAULTS int raiseFault(const std::string& what) {
    if (what == "null-write" || what == "probe" || what == "filter-fault") {
        *nullPointer = 1;
    } else if (what == "null-read") {
        readNull();
    } else if (what == "stack-overflow") {
        return recurse(0);
    } else if (what == "divide") {
        return seven / zero;
    } else if (what == "illegal") {
        asm volatile("ud2");
    } else if (what == "breakpoint") {
        asm volatile("int3");
    } else if (what == "abort") {
        std::abort();
    } else if (what == "throw") {
        throw std::runtime_error("nobody catches this");
    } else if (what == "bus") {
        // A page of a file mapping beyond the file's end.
        char path[1100];
        std::strcpy(path, folder);
        std::strcat(path, "/empty");
        FILE* empty = std::fopen(path, "w+");
        void* page = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(empty), 0);
        return *static_cast<volatile char*>(page);
    } else if (what == "sent") {
        std::raise(SIGSEGV);
    } else if (what == "unguarded") {
        std::thread([] { readNull(); }).join();
    }
    return 0;
}

int guardedThread(void*) {
    ++ready;
    while (ready.load() < 2) {
    }
    readNull();
    return 0;
}

// A session-like guarded thread, a thread that blocks every signal, and the main thread, all
// waiting in the system but the one that faults ("threads-session" or "threads-main"). Before the
// fault the child lists the process's threads into "<folder>/threads", one identifier a line.
std::atomic<pid_t> sessionTid{0}, deafTid{0};

[[noreturn]] void sleepForEver() {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(1));
}

bool waitsInTheSystem(pid_t tid) {
    std::ifstream in("/proc/self/task/" + std::to_string(tid) + "/syscall");
    std::string first;
    return in >> first && first != "running";
}

void listThreadsAndFault() {
    while (deafTid.load() == 0 || sessionTid.load() == 0) std::this_thread::yield();
    for (const pid_t tid : {getpid(), sessionTid.load(), deafTid.load()})
        while (tid != gettid() && !waitsInTheSystem(tid)) std::this_thread::yield();
    {
        std::ofstream list(std::string(folder) + "/threads");
        for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
            list << entry.path().filename().string() << '\n';
    }
    readNull();
}

int threads(const std::string& what) {
    std::thread deaf([] {
        sigset_t all;
        sigfillset(&all);
        pthread_sigmask(SIG_BLOCK, &all, nullptr);
        deafTid = gettid();
        sleepForEver();
    });
    deaf.detach();
    std::thread session([&what] {
        auto body = [&what] {
            sessionTid = gettid();
            if (what == "threads-session") listThreadsAndFault();
            sleepForEver();
            return 0;
        };
        seh::Guard(body, recordingFilter, const_cast<char*>("session"));
    });
    if (what == "threads-main") {
        auto body = [] {
            listThreadsAndFault();
            return 0;
        };
        seh::Guard(body, recordingFilter, const_cast<char*>("main"));
    }
    session.join();
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    kind = argv[1];
    std::strncpy(folder, argv[2], sizeof folder - 1);
    const std::string what = kind;
    if (what == "two-threads") {
        std::thread other([] { seh::Guard(guardedThread, nullptr, recordingFilter, const_cast<char*>("other")); });
        seh::Guard(guardedThread, nullptr, recordingFilter, const_cast<char*>("main"));
        other.join();
        return 0;
    }
    if (what.rfind("threads-", 0) == 0) return threads(what);
    if (what == "nested") {
        auto inner = [] { return seh::Guard([](void*) { readNull(); return 0; }, nullptr, recordingFilter,
                                            const_cast<char*>("inner")); };
        return seh::Guard(inner, recordingFilter, const_cast<char*>("outer"));
    }
    if (what == "returns") {
        // A body that ends normally: its result is the guard's, and the thread is unguarded after.
        auto body = [] { return 7; };
        const int result = seh::Guard(body, recordingFilter, nullptr);
        ULONG_PTR low = 1, high = 1;
        seh::GetCurrentThreadStackLimits(&low, &high);
        return result == 7 && low == 0 && high == 0 ? 0 : 1;
    }
    auto body = [&what] { return raiseFault(what); };
    return seh::Guard(body, recordingFilter, const_cast<char*>("guard"));
}
