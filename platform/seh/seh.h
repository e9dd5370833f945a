// Structured exceptions on this platform, and the calls that an exception filter may make.
//
// A guarded thread runs its body through seh::Guard. A processor fault on that thread (segmentation
// fault, bus error, illegal instruction, arithmetic error, trap), an abort, or a C++ exception that
// nothing catches reaches the guard's filter as the platform describes an exception: an
// EXCEPTION_RECORD (code, address, parameters) and the thread's CONTEXT at the fault. Faults arrive
// as signals, handled with SA_SIGINFO | SA_ONSTACK on an alternate stack that the guard gives its
// thread; an uncaught C++ exception arrives through the terminate handler with the code
// 0xE06D7363. A fault on a thread that no guard covers takes the path it would take without
// guards (the previous handler or the default action).
//
// The filter runs on the faulting thread while the other threads go on (a dump holds them while it
// copies their stacks). Filters run one at a
// time: an exception on another thread meanwhile (guarded or not) waits, at most 10 s, for the
// running filter to return, so that what it writes is never cut short. Whatever it decides, the
// exception then ends the process by its signal (a guarded sequence cannot be resumed after a fault
// here, and ending with a success status would hide the crash from the shell and the system).
//
// Everything declared in namespace seh below is safe inside a filter: no allocation, no lock, no
// stdio, raw system calls only. The handles that these calls return are their own (file
// descriptors), not those of the win32 handle table: pass them only to the calls of this header
// and to seh::MiniDumpWriteDump.
#pragma once

#include <cstdint>

#include "win32/windows.h"

using DWORD64 = std::uint64_t;
using SIZE_T = std::size_t;

#define EXCEPTION_MAXIMUM_PARAMETERS 15
#define EXCEPTION_NONCONTINUABLE 0x1u
#define EXCEPTION_EXECUTE_HANDLER 1
#define EXCEPTION_CONTINUE_SEARCH 0

// The codes that this platform raises.
#define EXCEPTION_ACCESS_VIOLATION 0xC0000005u
#define EXCEPTION_IN_PAGE_ERROR 0xC0000006u
#define EXCEPTION_ILLEGAL_INSTRUCTION 0xC000001Du
#define EXCEPTION_ARRAY_BOUNDS_EXCEEDED 0xC000008Cu
#define EXCEPTION_FLT_DIVIDE_BY_ZERO 0xC000008Eu
#define EXCEPTION_FLT_INEXACT_RESULT 0xC000008Fu
#define EXCEPTION_FLT_INVALID_OPERATION 0xC0000090u
#define EXCEPTION_FLT_OVERFLOW 0xC0000091u
#define EXCEPTION_FLT_UNDERFLOW 0xC0000093u
#define EXCEPTION_INT_DIVIDE_BY_ZERO 0xC0000094u
#define EXCEPTION_INT_OVERFLOW 0xC0000095u
#define EXCEPTION_PRIV_INSTRUCTION 0xC0000096u
#define EXCEPTION_STACK_OVERFLOW 0xC00000FDu
#define EXCEPTION_DATATYPE_MISALIGNMENT 0x80000002u
#define EXCEPTION_BREAKPOINT 0x80000003u
#define EXCEPTION_SINGLE_STEP 0x80000004u
#define STATUS_FATAL_APP_EXIT 0x40000015u  // abort
#define EXCEPTION_CPP 0xE06D7363u          // a C++ exception that nothing caught

struct EXCEPTION_RECORD {
    DWORD ExceptionCode;
    DWORD ExceptionFlags;
    EXCEPTION_RECORD* ExceptionRecord;
    void* ExceptionAddress;
    DWORD NumberParameters;
    // Access violation: [0] 0 read, 1 write (8 execute); [1] the address.
    ULONG_PTR ExceptionInformation[EXCEPTION_MAXIMUM_PARAMETERS];
};

// The x86-64 integer and control registers at the exception.
#define CONTEXT_AMD64 0x00100000u
#define CONTEXT_CONTROL (CONTEXT_AMD64 | 0x1u)
#define CONTEXT_INTEGER (CONTEXT_AMD64 | 0x2u)
#define CONTEXT_SEGMENTS (CONTEXT_AMD64 | 0x4u)
struct CONTEXT {
    DWORD ContextFlags;
    WORD SegCs, SegDs, SegEs, SegFs, SegGs, SegSs;
    DWORD EFlags;
    DWORD64 Rax, Rcx, Rdx, Rbx, Rsp, Rbp, Rsi, Rdi;
    DWORD64 R8, R9, R10, R11, R12, R13, R14, R15;
    DWORD64 Rip;
};

struct EXCEPTION_POINTERS {
    EXCEPTION_RECORD* ExceptionRecord;
    CONTEXT* ContextRecord;
};

// An exception filter: EXCEPTION_EXECUTE_HANDLER or EXCEPTION_CONTINUE_SEARCH.
using PEXCEPTION_FILTER = LONG (*)(EXCEPTION_POINTERS* pointers, void* parameter);

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define FILE_ATTRIBUTE_DIRECTORY 0x10u
#define FILE_FLAG_WRITE_THROUGH 0x80000000u
enum GET_FILEEX_INFO_LEVELS { GetFileExInfoStandard };
struct WIN32_FILE_ATTRIBUTE_DATA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
};

#define PROCESSOR_AMD_X8664 8664u
struct SYSTEM_INFO {
    WORD wProcessorArchitecture;
    WORD wReserved;
    DWORD dwPageSize;
    void* lpMinimumApplicationAddress;
    void* lpMaximumApplicationAddress;
    ULONG_PTR dwActiveProcessorMask;
    DWORD dwNumberOfProcessors;
    DWORD dwProcessorType;
    DWORD dwAllocationGranularity;
    WORD wProcessorLevel;
    WORD wProcessorRevision;
};

struct MEMORYSTATUSEX {
    DWORD dwLength;  // set to sizeof(MEMORYSTATUSEX) by the caller
    DWORD dwMemoryLoad;
    DWORD64 ullTotalPhys;
    DWORD64 ullAvailPhys;
    DWORD64 ullTotalPageFile;
    DWORD64 ullAvailPageFile;
    DWORD64 ullTotalVirtual;
    DWORD64 ullAvailVirtual;
    DWORD64 ullAvailExtendedVirtual;
};

// A module of the process. Paths here may be longer than the platform's MAX_PATH.
#define TH32CS_SNAPMODULE 0x00000008u
#define MODULE_PATH_SIZE 4096
struct MODULEENTRY32 {
    DWORD dwSize;  // set to sizeof(MODULEENTRY32) by the caller
    DWORD th32ModuleID;
    DWORD th32ProcessID;
    BYTE* modBaseAddr;
    DWORD modBaseSize;
    HMODULE hModule;
    char szModule[256];               // file name
    char szExePath[MODULE_PATH_SIZE];  // full path, as the system's mapping list names it
};

#define STARTF_USESHOWWINDOW 0x00000001u
#define SW_SHOW 5
struct STARTUPINFOA {
    DWORD cb;
    DWORD dwFlags;
    WORD wShowWindow;
};
struct PROCESS_INFORMATION {
    HANDLE hProcess;
    HANDLE hThread;
    DWORD dwProcessId;
    DWORD dwThreadId;
};

namespace seh {

// ---- the guard

// Runs body(parameter) on the calling thread inside a structured exception guard whose filter is
// filter(pointers, filterParameter), and returns body's result. Guards may be nested on a thread
// (the innermost filter sees the exception). Not for use inside a filter.
int Guard(int (*body)(void*), void* parameter, PEXCEPTION_FILTER filter, void* filterParameter) noexcept;

template <class Body>
int Guard(Body& body, PEXCEPTION_FILTER filter, void* filterParameter) noexcept {
    return Guard([](void* self) { return static_cast<int>((*static_cast<Body*>(self))()); }, &body, filter,
                 filterParameter);
}

// Inside a filter: runs fn(parameter); a processor fault in it abandons fn and gives FALSE, as a
// nested __try/__except would. Elsewhere it simply runs fn and gives TRUE.
BOOL Probe(void (*fn)(void*), void* parameter);

template <class Fn>
BOOL Probe(Fn& fn) {
    return Probe([](void* self) { (*static_cast<Fn*>(self))(); }, &fn);
}

// The calling thread's stack: [*low, *high); both 0 on a thread that no guard covers.
void GetCurrentThreadStackLimits(ULONG_PTR* low, ULONG_PTR* high);

// ---- facts prepared at start-up (call once before any exception; not inside a filter)

// Reads what the calls below must not read at an exception: the time-zone offset, the processor
// count, whether debugger output is echoed. Guard calls it too.
void PrepareProcessFacts();

// ---- calls safe inside a filter

// The system the program runs on: its kernel name and release.
BOOL GetKernelName(LPSTR name, DWORD nameSize, LPSTR release, DWORD releaseSize);

DWORD GetCurrentThreadId();
DWORD GetCurrentProcessId();
// 1 while a debugger traces the process.
BOOL IsDebuggerPresent();

// Host files: "\" and "/" both separate folders. CREATE_ALWAYS or OPEN_EXISTING;
// FILE_FLAG_WRITE_THROUGH writes through to the device. INVALID_HANDLE_VALUE on failure.
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED* overlapped);
BOOL CloseHandle(HANDLE handle);
DWORD GetFileAttributesA(LPCSTR fileName);
BOOL GetFileAttributesExA(LPCSTR fileName, GET_FILEEX_INFO_LEVELS level, void* information);
// Creates the folder with all its missing parents: ERROR_SUCCESS, ERROR_ALREADY_EXISTS, or the
// error of the first folder that could not be made.
int SHCreateDirectoryExA(HANDLE window, LPCSTR path, SECURITY_ATTRIBUTES* security);

// The debugger output: written to standard error when QUORELLE_DEBUG_OUTPUT was set at start-up.
void OutputDebugStringA(LPCSTR text);

void GetSystemTimeAsFileTime(FILETIME* time);
// With the time-zone offset read at start-up.
BOOL FileTimeToLocalFileTime(const FILETIME* fileTime, FILETIME* localTime);
// A date-time of the file system (two-second resolution, years 1980 to 2107).
BOOL FileTimeToDosDateTime(const FILETIME* fileTime, WORD* fatDate, WORD* fatTime);
void Sleep(DWORD milliseconds);

void GetSystemInfo(SYSTEM_INFO* info);
BOOL GlobalMemoryStatusEx(MEMORYSTATUSEX* status);

// Reads memory of this process without faulting: TRUE when all `size` bytes were read; *read
// tells how many were (an unreadable byte ends the read).
BOOL ReadProcessMemory(HANDLE process, LPCVOID base, LPVOID buffer, SIZE_T size, SIZE_T* read);

// The modules (ELF images mapped from a file) of this process, in address order. One snapshot at
// a time; close it with CloseHandle.
HANDLE CreateToolhelp32Snapshot(DWORD flags, DWORD processId);
BOOL Module32First(HANDLE snapshot, MODULEENTRY32* entry);
BOOL Module32Next(HANDLE snapshot, MODULEENTRY32* entry);

// Starts a program from a command line parsed by the platform's rules (blanks separate words,
// double quotes group them). The first word names the program file (trailing blanks are not part
// of a file name); the words are its arguments. Without handle inheritance the new program gets
// only the standard input, output and error. TRUE once the program runs; its handles are null
// (the caller neither waits for it nor keeps it).
BOOL CreateProcessA(LPCSTR applicationName, LPSTR commandLine, SECURITY_ATTRIBUTES* processAttributes,
                    SECURITY_ATTRIBUTES* threadAttributes, BOOL inheritHandles, DWORD creationFlags,
                    LPVOID environment, LPCSTR currentDirectory, STARTUPINFOA* startupInfo,
                    PROCESS_INFORMATION* processInformation);

}  // namespace seh
