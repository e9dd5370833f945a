// Recursive critical sections of the Win32 shape, with a lock-order check in debug builds.
//
// A critical section may be given a rank (SetCriticalSectionRank). A thread that holds a ranked
// section may only enter sections of a greater or equal rank (or one it holds already). The
// designer ranks csEngine 0 and its other eight sections 1, so csEngine is always taken first.
// In debug builds (NDEBUG not defined) a violation, and a cross-thread SendMessage made while the
// thread holds any critical section, is reported to the lock-order handler; the default handler
// writes the report to standard error and aborts. Release builds check nothing.
#pragma once

#include <functional>
#include <string>

#include "win32/windows.h"

namespace qui::detail {
struct CriticalSectionState;
}

struct CRITICAL_SECTION {
    qui::detail::CriticalSectionState* state = nullptr;
};
using LPCRITICAL_SECTION = CRITICAL_SECTION*;

void InitializeCriticalSection(LPCRITICAL_SECTION section);
void DeleteCriticalSection(LPCRITICAL_SECTION section);
void EnterCriticalSection(LPCRITICAL_SECTION section);
void LeaveCriticalSection(LPCRITICAL_SECTION section);
BOOL TryEnterCriticalSection(LPCRITICAL_SECTION section);

namespace qui {

// Names the section in reports and gives it its rank (lower ranks are taken first).
void SetCriticalSectionRank(LPCRITICAL_SECTION section, int rank, const char* name);

// Number of critical sections the calling thread holds (each held section counted once).
int HeldCriticalSectionCount();

// Whether this build checks the lock order.
bool LockOrderChecked();

// Replaces the handler of lock-order violations (tests record them); an empty function restores
// the default. Returns the previous handler.
using LockOrderHandler = std::function<void(const std::string& report)>;
LockOrderHandler SetLockOrderHandler(LockOrderHandler handler);

// Called by the message layer before a cross-thread send.
void CheckNoLockHeldForSend();

}  // namespace qui
