// The crash guard: the designer's whole main-thread sequence, and each of its own threads, run
// inside a structured exception guard whose filter writes the crash report (crash_report.h). After
// the report the process ends by the exception, never with a success status.
#pragma once

namespace plandrel {

inline constexpr char kEntryGuardLabel[] = "ExceptionAttacher.cpp - AfxWinMain";

// The program's entry: prepares the crash report, installs the guard for the designer's threads
// and runs the class library's application sequence (initialisation, InitInstance, the message
// loop, ExitInstance) inside the guard. Returns the sequence's result.
int AfxWinMain(int argc, char** argv);

// Runs body(parameter) on the calling thread inside the crash guard, `label` naming it in the
// report; returns body's result.
unsigned GuardThread(const char* label, unsigned (*body)(void*), void* parameter);

}  // namespace plandrel
