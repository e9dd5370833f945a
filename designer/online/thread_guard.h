// How the designer's own threads run: inside the program's crash guard, under a label that the
// crash report names. The program installs its guard at start; without one (tests) a body runs
// bare.
#pragma once

namespace plandrel {

// The session thread's label in the crash report.
inline constexpr char kSessionThreadLabel[] = "Fip - FncTacheLitFip";

using ThreadBody = unsigned (*)(void* parameter);
using ThreadGuard = unsigned (*)(const char* label, ThreadBody body, void* parameter);

void SetThreadGuard(ThreadGuard guard);
// body(parameter) inside the installed guard; its result.
unsigned RunGuardedThread(const char* label, ThreadBody body, void* parameter);

}  // namespace plandrel
