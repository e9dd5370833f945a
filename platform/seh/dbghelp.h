// The dump writer: a minidump of the running process in the standard minidump file format, which
// debuggers open (lldb reads it on this system). Safe inside an exception filter: no allocation,
// no lock, raw system calls.
//
// The dump holds: the header and stream directory; the system information (x86-64, this system's
// kernel release as the service-pack text); the thread list with every thread of the process (the
// calling thread first, with its context at the exception; each other one with its context and its
// stack memory as it was held while the dump was written); the module list (the ELF images mapped
// from files, with their paths, sizes and build identifiers); the exception stream; the memory list
// (the stacks and the bytes around the instruction pointer); the process identifier.
//
// The other threads are held by a real-time signal of their own, whose handler
// seh::PrepareProcessFacts installs: each answers with its registers and waits until the stacks are
// written. One that does not answer within half a second (it blocks the signal, or it is ending) is
// written with its last known state: the stack and instruction pointers of the system call it waits
// in, or no registers and no stack while it runs. While a debugger traces the process, which may stop
// at that signal, no thread is held: each is written with its last known state.
//
// The exception stream follows this system's dump convention, which debuggers read: the signal
// number as the code and, for a memory fault, the faulting address as the address.
#pragma once

#include "seh/seh.h"

enum MINIDUMP_TYPE { MiniDumpNormal = 0x00000000 };

struct MINIDUMP_EXCEPTION_INFORMATION {
    DWORD ThreadId;
    EXCEPTION_POINTERS* ExceptionPointers;
    BOOL ClientPointers;  // FALSE: the pointers belong to this process
};

namespace seh {

// Writes the dump of the calling process to `file` (a handle of seh::CreateFileA). processId must
// be this process's; `exception` describes the exception of the calling thread. userStream and callback must be null. TRUE when the whole dump was
// written; one dump at a time.
BOOL MiniDumpWriteDump(HANDLE process, DWORD processId, HANDLE file, MINIDUMP_TYPE dumpType,
                       const MINIDUMP_EXCEPTION_INFORMATION* exception, const void* userStream,
                       const void* callback);

}  // namespace seh
