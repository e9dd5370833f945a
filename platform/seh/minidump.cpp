// The minidump writer. The streams are written one after the other behind the header and the
// stream directory, which are written last, at the start of the file, once every offset is known.
// Nothing is allocated: the thread and module records and the copy buffer are static (one dump at a
// time).
#include <signal.h>

#include <atomic>
#include <cstring>
#include <new>

#include "seh/dbghelp.h"
#include "seh/seh_internal.h"

namespace seh {
namespace {

using namespace detail;

constexpr std::uint32_t kSignature = 0x504D444D;  // "MDMP"
constexpr std::uint32_t kVersion = 0xA793;
constexpr std::uint32_t kThreadListStream = 3, kModuleListStream = 4, kMemoryListStream = 5,
                        kExceptionStream = 6, kSystemInfoStream = 7, kMiscInfoStream = 15;
constexpr std::uint32_t kStreamCount = 6;
constexpr std::uint16_t kArchitectureAmd64 = 9;
constexpr std::uint32_t kPlatformLinux = 0x8201;
constexpr std::uint32_t kMiscProcessId = 0x1;
constexpr std::size_t kMaxModules = 1024;
constexpr std::size_t kMaxStackBytes = 16 * 1024 * 1024;
constexpr std::uintptr_t kRedZone = 128;        // below the stack pointer, still the function's
constexpr std::uintptr_t kCodeAround = 128;     // bytes kept before and after the instruction pointer
constexpr std::uintptr_t kStackOverflowReach = 64 * 1024;

#pragma pack(push, 4)
struct Location {
    std::uint32_t dataSize;
    std::uint32_t rva;
};
struct MemoryDescriptor {
    std::uint64_t start;
    Location memory;
};
struct Header {
    std::uint32_t signature, version, streamCount, directoryRva, checksum, timeDateStamp;
    std::uint64_t flags;
};
struct Directory {
    std::uint32_t type;
    Location location;
};
struct SystemInfo {
    std::uint16_t architecture, level, revision;
    std::uint8_t processors, productType;
    std::uint32_t major, minor, build, platform, csdVersionRva;
    std::uint16_t suiteMask, reserved;
    std::uint32_t cpu[6];
};
struct MiscInfo {
    std::uint32_t size, flags, processId, createTime, userTime, kernelTime;
};
struct Thread {
    std::uint32_t id, suspendCount, priorityClass, priority;
    std::uint64_t teb;
    MemoryDescriptor stack;
    Location context;
};
struct Module {
    std::uint64_t base;
    std::uint32_t size, checksum, timeDateStamp, nameRva;
    std::uint32_t versionInfo[13];
    Location cvRecord, miscRecord;
    std::uint64_t reserved0, reserved1;
};
struct ExceptionStream {
    std::uint32_t threadId, alignment;
    std::uint32_t code, flags;
    std::uint64_t record, address;
    std::uint32_t parameterCount, unused;
    std::uint64_t parameters[EXCEPTION_MAXIMUM_PARAMETERS];
    Location context;
};
#pragma pack(pop)
static_assert(sizeof(Header) == 32 && sizeof(Directory) == 12 && sizeof(SystemInfo) == 56);
static_assert(sizeof(MiscInfo) == 24 && sizeof(Thread) == 48 && sizeof(Module) == 108);
static_assert(sizeof(ExceptionStream) == 168 && sizeof(MemoryDescriptor) == 16);

// The x86-64 processor context of a minidump: the registers at their offsets in its 1232 bytes.
constexpr std::size_t kContextSize = 1232;
constexpr std::size_t kContextFlagsAt = 0x30, kSegmentsAt = 0x38, kEFlagsAt = 0x44, kIntegerAt = 0x78;

void put(unsigned char* to, std::size_t at, const void* value, std::size_t size) { std::memcpy(to + at, value, size); }

void contextBytes(const CONTEXT& context, unsigned char (&bytes)[kContextSize]) {
    std::memset(bytes, 0, sizeof bytes);
    const std::uint32_t flags = CONTEXT_CONTROL | CONTEXT_INTEGER | CONTEXT_SEGMENTS;
    put(bytes, kContextFlagsAt, &flags, 4);
    const WORD segments[6] = {context.SegCs, context.SegDs, context.SegEs, context.SegFs, context.SegGs, context.SegSs};
    put(bytes, kSegmentsAt, segments, sizeof segments);
    put(bytes, kEFlagsAt, &context.EFlags, 4);
    // Rax Rcx Rdx Rbx Rsp Rbp Rsi Rdi R8..R15 Rip, one after the other.
    const DWORD64 integer[17] = {context.Rax, context.Rcx, context.Rdx, context.Rbx, context.Rsp, context.Rbp,
                                 context.Rsi, context.Rdi, context.R8,  context.R9,  context.R10, context.R11,
                                 context.R12, context.R13, context.R14, context.R15, context.Rip};
    put(bytes, kIntegerAt, integer, sizeof integer);
}

// Sequential output behind the reserved header and directory.
class Output {
public:
    explicit Output(int fd) : fd_(fd) {}
    std::uint32_t offset() const { return static_cast<std::uint32_t>(offset_); }
    bool ok() const { return ok_; }
    std::uint32_t write(const void* data, std::size_t size) {
        const std::uint32_t at = offset();
        if (ok_ && !writeAllAt(fd_, data, size, offset_)) ok_ = false;
        offset_ += size;
        return at;
    }
    void skipTo(std::uint64_t offset) { offset_ = offset; }
    // A string as the format keeps it: byte length, UTF-16 text, a zero character.
    std::uint32_t writeString(const char* text) {
        static char16_t wide[MODULE_PATH_SIZE + 1];
        std::size_t n = 0;
        for (const auto* p = reinterpret_cast<const unsigned char*>(text); *p && n + 2 < MODULE_PATH_SIZE;) {
            std::uint32_t c = *p++;
            int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
            if (more) c &= 0x3Fu >> more;
            for (; more > 0 && (*p & 0xC0) == 0x80; --more) c = (c << 6) | (*p++ & 0x3Fu);
            if (more > 0 || c > 0x10FFFF) c = 0xFFFD;  // a broken sequence
            if (c >= 0x10000) {
                wide[n++] = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
                wide[n++] = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
            } else {
                wide[n++] = static_cast<char16_t>(c);
            }
        }
        wide[n] = 0;
        const auto bytes = static_cast<std::uint32_t>(n * 2);
        const std::uint32_t at = write(&bytes, 4);
        write(wide, (n + 1) * 2);
        return at;
    }
    // Copies readable memory from `start` (at most `size` bytes) into the file.
    MemoryDescriptor writeMemory(std::uintptr_t start, std::size_t size) {
        static unsigned char chunk[65536];
        MemoryDescriptor descriptor{start, {0, offset()}};
        while (descriptor.memory.dataSize < size) {
            const std::size_t left = size - descriptor.memory.dataSize;
            const std::size_t want = left < sizeof chunk ? left : sizeof chunk;
            SIZE_T got = 0;
            ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(start + descriptor.memory.dataSize), chunk,
                              want, &got);
            if (got == 0) break;
            write(chunk, got);
            descriptor.memory.dataSize += static_cast<std::uint32_t>(got);
            if (got < want) break;
        }
        return descriptor;
    }

private:
    int fd_;
    std::uint64_t offset_ = 0;
    bool ok_ = true;
};

// A thread's stack from below its stack pointer to the stack's end: `high` when the stack pointer
// lies in [low, high), else the end of the mapping that holds it. A stack overflow leaves the stack
// pointer below the stack's last page: the stack is then taken from the first readable page above.
MemoryDescriptor writeStack(Output& out, std::uintptr_t rsp, std::uintptr_t low, std::uintptr_t high,
                            std::uintptr_t page) {
    std::uintptr_t sp = rsp > kRedZone ? rsp - kRedZone : 0;
    char probe = 0;
    SIZE_T read = 0;
    if (!ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(sp), &probe, 1, &read)) {
        for (std::uintptr_t at = (sp | (page - 1)) + 1; at < sp + kStackOverflowReach; at += page) {
            if (ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(at), &probe, 1, &read)) {
                sp = at;
                break;
            }
        }
    }
    if (high == 0 || sp < low || sp >= high) {
        Mapping mapping;
        high = findMapping(sp, mapping) ? mapping.end : 0;
    }
    if (high <= sp) return {sp, {0, out.offset()}};
    return out.writeMemory(sp, high - sp < kMaxStackBytes ? high - sp : kMaxStackBytes);
}

// The signal that raised the exception, as this system's dumps name it.
std::uint32_t signalOf(DWORD code) {
    switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_STACK_OVERFLOW: return SIGSEGV;
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT: return SIGBUS;
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION: return SIGILL;
    case EXCEPTION_BREAKPOINT:
    case EXCEPTION_SINGLE_STEP: return SIGTRAP;
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED: return SIGFPE;
    default: return SIGABRT;  // an abort, or a C++ exception that ends by one
    }
}

// "6.1.0-18-amd64" gives 6, 1, 0.
void versionOf(const char* release, std::uint32_t (&parts)[3]) {
    const char* p = release;
    for (std::uint32_t& part : parts) {
        part = 0;
        while (*p >= '0' && *p <= '9') part = part * 10 + static_cast<std::uint32_t>(*p++ - '0');
        if (*p != '.') break;
        ++p;
    }
}

std::atomic<bool> writing{false};

}  // namespace

BOOL MiniDumpWriteDump(HANDLE, DWORD processId, HANDLE file, MINIDUMP_TYPE dumpType,
                       const MINIDUMP_EXCEPTION_INFORMATION* exception, const void* userStream, const void* callback) {
    if (processId != GetCurrentProcessId() || file == INVALID_HANDLE_VALUE || !file || dumpType != MiniDumpNormal ||
        userStream || callback || !exception || !exception->ExceptionPointers ||
        !exception->ExceptionPointers->ExceptionRecord || !exception->ExceptionPointers->ContextRecord ||
        exception->ClientPointers) {
        return FALSE;
    }
    if (writing.exchange(true)) return FALSE;  // its static buffers serve one dump at a time
    const EXCEPTION_RECORD& record = *exception->ExceptionPointers->ExceptionRecord;
    const CONTEXT& context = *exception->ExceptionPointers->ContextRecord;
    Output out(fdOf(file));
    Directory directory[kStreamCount] = {};
    out.skipTo(sizeof(Header) + sizeof directory);

    // System information, with the kernel release as its service-pack text.
    char release[128] = {};
    GetKernelName(nullptr, 0, release, sizeof release);
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    SystemInfo info{};
    info.architecture = kArchitectureAmd64;
    info.processors = static_cast<std::uint8_t>(system.dwNumberOfProcessors > 255 ? 255 : system.dwNumberOfProcessors);
    info.productType = 1;
    std::uint32_t version[3];
    versionOf(release, version);
    info.major = version[0];
    info.minor = version[1];
    info.build = version[2];
    info.platform = kPlatformLinux;
    info.csdVersionRva = out.writeString(release);
    directory[0] = {kSystemInfoStream, {sizeof info, out.write(&info, sizeof info)}};

    MiscInfo misc{sizeof(MiscInfo), kMiscProcessId, processId, 0, 0, 0};
    directory[1] = {kMiscInfoStream, {sizeof misc, out.write(&misc, sizeof misc)}};

    // The threads: the calling thread with its context at the exception first, then every other
    // thread of the process as it was held while its stack is copied; each with its stack from
    // below its stack pointer. The memory list holds the stacks and the code around the
    // exception's instruction pointer.
    static ThreadState states[kMaxDumpThreads];
    states[0] = {static_cast<pid_t>(exception->ThreadId), true, context};
    const std::size_t threadCount = 1 + holdOtherThreads(states + 1, kMaxDumpThreads - 1);
    static Thread threads[kMaxDumpThreads];
    static MemoryDescriptor memory[kMaxDumpThreads + 1];
    std::size_t memoryCount = 0;
    for (std::size_t i = 0; i < threadCount; ++i) {
        const ThreadState& state = states[i];
        Thread& thread = threads[i];
        thread = {};
        thread.id = static_cast<std::uint32_t>(state.tid);
        thread.stack = {state.context.Rsp, {0, out.offset()}};
        if (state.known) {
            ULONG_PTR low = 0, high = 0;
            if (i == 0) GetCurrentThreadStackLimits(&low, &high);
            thread.stack = writeStack(out, state.context.Rsp, low, high, system.dwPageSize);
            if (thread.stack.memory.dataSize) memory[memoryCount++] = thread.stack;
        }
        unsigned char contextData[kContextSize];
        contextBytes(state.context, contextData);
        thread.context = {kContextSize, out.write(contextData, sizeof contextData)};
    }
    releaseThreads();
    const std::uintptr_t rip = context.Rip;
    MemoryDescriptor code = out.writeMemory(rip > kCodeAround ? rip - kCodeAround : 0, 2 * kCodeAround);
    if (code.memory.dataSize == 0) code = out.writeMemory(rip, kCodeAround);
    if (code.memory.dataSize) memory[memoryCount++] = code;

    const auto threadList = static_cast<std::uint32_t>(threadCount);
    const std::uint32_t threadsAt = out.write(&threadList, 4);
    out.write(threads, threadCount * sizeof(Thread));
    directory[2] = {kThreadListStream, {static_cast<std::uint32_t>(4 + threadCount * sizeof(Thread)), threadsAt}};

    // The modules: names first, then the list that points at them.
    static Module modules[kMaxModules];
    static MODULEENTRY32 entry;
    alignas(ModuleWalk) static unsigned char walkStorage[sizeof(ModuleWalk)];
    ModuleWalk& walk = *new (walkStorage) ModuleWalk;
    std::uint32_t moduleCount = 0;
    while (moduleCount < kMaxModules && nextModule(walk, entry)) {
        Module& module = modules[moduleCount++];
        module = {};
        module.base = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
        module.size = entry.modBaseSize;
        module.nameRva = out.writeString(entry.szExePath);
    }
    walk.~ModuleWalk();
    const std::uint32_t modulesAt = out.write(&moduleCount, 4);
    out.write(modules, moduleCount * sizeof(Module));
    directory[3] = {kModuleListStream, {static_cast<std::uint32_t>(4 + moduleCount * sizeof(Module)), modulesAt}};

    ExceptionStream stream{};
    stream.threadId = exception->ThreadId;
    stream.code = signalOf(record.ExceptionCode);
    const bool memoryFault = stream.code == SIGSEGV || stream.code == SIGBUS;
    stream.address = memoryFault && record.NumberParameters >= 2 ? record.ExceptionInformation[1]
                                                                  : reinterpret_cast<std::uintptr_t>(record.ExceptionAddress);
    stream.parameterCount = record.NumberParameters > EXCEPTION_MAXIMUM_PARAMETERS ? EXCEPTION_MAXIMUM_PARAMETERS
                                                                                  : record.NumberParameters;
    for (std::uint32_t i = 0; i < stream.parameterCount; ++i) stream.parameters[i] = record.ExceptionInformation[i];
    stream.context = threads[0].context;
    directory[4] = {kExceptionStream, {sizeof stream, out.write(&stream, sizeof stream)}};

    const auto memoryList = static_cast<std::uint32_t>(memoryCount);
    const std::uint32_t memoryAt = out.write(&memoryList, 4);
    out.write(memory, memoryCount * sizeof(MemoryDescriptor));
    directory[5] = {kMemoryListStream, {static_cast<std::uint32_t>(4 + memoryCount * sizeof(MemoryDescriptor)), memoryAt}};

    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
    Header header{kSignature, kVersion, kStreamCount, sizeof(Header), 0,
                  static_cast<std::uint32_t>((ticks - 116444736000000000ull) / 10000000ull), dumpType};
    out.skipTo(0);
    out.write(&header, sizeof header);
    out.write(directory, sizeof directory);
    writing.store(false);
    return out.ok() ? TRUE : FALSE;
}

}  // namespace seh
