// The crash report: when an exception escapes the designer's main thread or its session thread,
// WriteCrashReport writes the plain-text report "PLANDREL_ERRORLOG.TXT" and the minidump
// "PLANDREL_CRASH.DMP" into the "Dump" folder of the working folder, then starts the outside
// crash-report program "XCrashReport.exe" from the program's folder unless a debugger is attached.
//
// The filter runs on the faulting thread at the exception: it allocates nothing, takes no lock and
// reads neither the board nor a string table. Everything it cannot read safely then (paths, the
// program's name, the board's serial number, the crash-report program's command line, the system's
// description) is prepared here at start-up, on the main thread, before any thread that could
// fault is started.
#pragma once

#include <cstdint>
#include <filesystem>

#include "seh/seh.h"

namespace plandrel {

inline constexpr char kCrashReportFile[] = "PLANDREL_ERRORLOG.TXT";
inline constexpr char kCrashDumpFile[] = "PLANDREL_CRASH.DMP";
inline constexpr char kCrashProgram[] = "XCrashReport.exe";

// The program's path, name and folder, the system's description and the crash-report program's
// command line. Until SetCrashReportFolder the crash files go under the current directory.
void PrepareCrashReport();
// The working folder chosen at start-up: the crash files go to its "Dump" folder.
void SetCrashReportFolder(const std::filesystem::path& working_folder);
// The selected board and the serial number read when it was selected.
void SetCrashReportBoard(std::uint32_t board_type, std::uint16_t board_number, std::uint32_t serial_number);

// The exception filter of the crash guard; `label` names the guard. Only the first exception of the
// process is reported (later ones return EXCEPTION_CONTINUE_SEARCH at once). Returns
// EXCEPTION_EXECUTE_HANDLER when the crash-report program was started, EXCEPTION_CONTINUE_SEARCH
// otherwise (no report file, a debugger attached, the program missing).
LONG WriteCrashReport(EXCEPTION_POINTERS* pointers, const char* label);

// The filter's files for the exception, whatever came before: creates the dump folder, writes the
// report and the dump. false (and "Error creating exception report" on the debugger output) when
// the report file cannot be created.
bool WriteCrashFiles(EXCEPTION_POINTERS* pointers, const char* label);

}  // namespace plandrel
