// The report's text goes through one 8 KiB buffer: each line is formatted behind the pending text,
// which is written out first when more than 7 KiB are pending (or when the line would not fit).
// Each group of lines runs inside a probe: a fault while a group is written abandons that group
// and the report goes on, so that it always ends with its last line.
#include "crash_report.h"

#include <atomic>
#include <cstring>
#include <string>

#include "crash_format.h"
#include "program_path.h"
#include "seh/dbghelp.h"

namespace plandrel {
namespace {

constexpr char kProgramName[] = "Plandrel";
constexpr char kDumpFolder[] = "Dump/";
constexpr char kEntryLine[] = "Error creating exception report\r\n";
constexpr char kDumpLine[] = "writing minidump\r\n";
constexpr std::size_t kPathSize = 4096;
constexpr std::size_t kBufferSize = 8192;
constexpr std::size_t kFlushAbove = 7168;
constexpr std::size_t kStackWords = 3072;
constexpr std::size_t kWordsPerLine = 4;
constexpr std::size_t kCodeBytes = 16;
constexpr DWORD64 kStackOverflowReach = 64 * 1024;
constexpr DWORD kBoardTypePci = 0, kBoardTypePc104 = 1;

struct ExceptionText {
  DWORD code;
  const char* text;
};
constexpr ExceptionText kExceptionTexts[] = {
    {0x40010005, "a Control-C"},
    {0x40010008, "a Control-Break"},
    {0x80000002, "a Datatype Misalignment"},
    {0x80000003, "a Breakpoint"},
    {0xC0000005, "an Access Violation"},
    {0xC0000006, "an In Page Error"},
    {0xC0000017, "a No Memory"},
    {0xC000001D, "an Illegal Instruction"},
    {0xC0000025, "a Noncontinuable Exception"},
    {0xC0000026, "an Invalid Disposition"},
    {0xC000008C, "a Array Bounds Exceeded"},
    {0xC000008D, "a Float Denormal Operand"},
    {0xC000008E, "a Float Divide by Zero"},
    {0xC000008F, "a Float Inexact Result"},
    {0xC0000090, "a Float Invalid Operation"},
    {0xC0000091, "a Float Overflow"},
    {0xC0000092, "a Float Stack Check"},
    {0xC0000093, "a Float Underflow"},
    {0xC0000094, "an Integer Divide by Zero"},
    {0xC0000095, "an Integer Overflow"},
    {0xC0000096, "a Privileged Instruction"},
    {0xC00000FD, "a Stack Overflow"},
    {0xC0000142, "a DLL Initialization Failed"},
    {0xE06D7363, "a Microsoft C++ Exception"},
};
static_assert(std::size(kExceptionTexts) == 24);

const char* DescriptionOf(DWORD code) {
  for (const ExceptionText& entry : kExceptionTexts)
    if (entry.code == code) return entry.text;
  return "an Unknown exception type";
}

// What start-up prepares. Written on the main thread before any other thread exists, read by the
// filter; every text stays terminated at its last byte whatever is written.
struct Facts {
  char program_path[kPathSize] = "Unknown";
  char dump_folder[kPathSize] = {};
  char report_path[kPathSize] = {};
  char dump_path[kPathSize] = {};
  char crash_program[kPathSize] = {};
  char program_file[256] = {};
  char command_line[3 * kPathSize] = {};
  char system_name[128] = "unknown system";
  char system_version[128] = {};
  std::atomic<std::uint32_t> board_type{kBoardTypePci};
  std::atomic<std::uint32_t> board_number{0};
  std::atomic<std::uint32_t> serial_number{0};
};
Facts facts;
std::atomic<bool> first_exception{true};

void Store(char* to, std::size_t size, const std::string& text) {
  const std::size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(to, text.data(), n);
  to[n] = '\0';
}

template <std::size_t N>
void Store(char (&to)[N], const std::string& text) {
  Store(to, N, text);
}

// The dump folder and the crash-report program's command line follow from the working folder:
//  "<folder>/XCrashReport.exe " "<program file> " "<dump folder> "  (each argument quoted with a
// blank before its closing quote, as the crash-report program takes them).
void DeriveFromFolder(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  const std::string dump = folder + kDumpFolder;
  Store(facts.dump_folder, dump);
  Store(facts.report_path, dump + kCrashReportFile);
  Store(facts.dump_path, dump + kCrashDumpFile);
  Store(facts.command_line, std::string(" \"") + facts.crash_program + " \" \"" + facts.program_file + " \" \"" +
                                dump + " \"");
}

// Report lines through the 8 KiB buffer.
class ReportWriter {
 public:
  void Open(HANDLE file) {
    file_ = file;
    pending_ = 0;
  }
  void Close() {
    Flush();
    seh::CloseHandle(file_);
    file_ = INVALID_HANDLE_VALUE;
  }
  void Line(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    if (pending_ > kFlushAbove) Flush();
    for (int attempt = 0; attempt < 2; ++attempt) {
      va_list arguments;
      va_start(arguments, format);
      const std::size_t length = FormatTextV(buffer_ + pending_, sizeof buffer_ - pending_, format, arguments);
      va_end(arguments);
      if (pending_ + length < sizeof buffer_) {
        pending_ += length;
        return;
      }
      // Too long behind the pending text: write that out and format the line again alone; a line
      // longer than the whole buffer is kept cut.
      if (attempt == 0 && pending_ > 0) {
        Flush();
        continue;
      }
      pending_ = sizeof buffer_ - 1;
      return;
    }
  }
  void Flush() {
    if (pending_ > 0 && file_ != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      seh::WriteFile(file_, buffer_, static_cast<DWORD>(pending_), &written, nullptr);
    }
    pending_ = 0;
  }

 private:
  HANDLE file_ = INVALID_HANDLE_VALUE;
  char buffer_[kBufferSize];
  std::size_t pending_ = 0;
};
ReportWriter writer;

// The local date and time in the file system's two-second steps: "month/day/year hh:mm:ss", or
// an empty text when the time cannot be told.
void DateTimeText(const FILETIME& utc, char (&text)[32]) {
  text[0] = '\0';
  FILETIME local;
  WORD date = 0, time = 0;
  if (!seh::FileTimeToLocalFileTime(&utc, &local) || !seh::FileTimeToDosDateTime(&local, &date, &time)) return;
  FormatText(text, sizeof text, "%d/%d/%d %02d:%02d:%02d", (date >> 5) & 0xF, date & 0x1F, (date >> 9) + 1980,
             time >> 11, (time >> 5) & 0x3F, (time & 0x1F) * 2);
}

// The file name of the module that holds `address`, or "Unknown".
void ModuleNameOf(DWORD64 address, char (&name)[256]) {
  std::strcpy(name, "Unknown");
  HANDLE snapshot = seh::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  static MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  for (BOOL more = seh::Module32First(snapshot, &entry); more; more = seh::Module32Next(snapshot, &entry)) {
    const auto base = reinterpret_cast<std::uintptr_t>(entry.modBaseAddr);
    if (address >= base && address < base + entry.modBaseSize) {
      std::strncpy(name, entry.szModule, sizeof name - 1);
      name[sizeof name - 1] = '\0';
      break;
    }
  }
  seh::CloseHandle(snapshot);
}

// 1-9: what happened, where and when, on which system and board.
void WriteHeading(const EXCEPTION_RECORD& record, const CONTEXT& context, const char* label) {
  char module[256];
  ModuleNameOf(reinterpret_cast<std::uintptr_t>(record.ExceptionAddress), module);
  writer.Line("%s caused %s (0x%08x) \r\nin module %s at %04x:%08llx.\r\n\r\n", kProgramName,
              DescriptionOf(record.ExceptionCode), record.ExceptionCode, module, context.SegCs,
              static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(record.ExceptionAddress)));
  writer.Line("Exception handler called in %s.\r\n", label != nullptr ? label : "");
  FILETIME now;
  seh::GetSystemTimeAsFileTime(&now);
  char when[32];
  DateTimeText(now, when);
  writer.Line("Error occurred at %s.\r\n", when);
  writer.Line("%s.\r\n", facts.program_path);
  writer.Line("Operating system:  %s (%s).\r\n", facts.system_name, facts.system_version);

  SYSTEM_INFO system;
  seh::GetSystemInfo(&system);
  writer.Line("%d processor(s), type %d.\r\n", static_cast<int>(system.dwNumberOfProcessors),
              static_cast<int>(system.dwProcessorType));
  MEMORYSTATUSEX memory{};
  memory.dwLength = sizeof memory;
  seh::GlobalMemoryStatusEx(&memory);
  const auto mebibytes = [](DWORD64 bytes) { return static_cast<int>((bytes + 0xFFFFF) >> 20); };
  writer.Line("%d%% memory in use.\r\n", static_cast<int>(memory.dwMemoryLoad));
  writer.Line("%d MBytes physical memory.\r\n", mebibytes(memory.ullTotalPhys));
  writer.Line("%d MBytes physical memory free.\r\n", mebibytes(memory.ullAvailPhys));
  writer.Line("%d MBytes paging file.\r\n", mebibytes(memory.ullTotalPageFile));
  writer.Line("%d MBytes paging file free.\r\n", mebibytes(memory.ullAvailPageFile));
  writer.Line("%d MBytes user address space.\r\n", mebibytes(memory.ullTotalVirtual));
  writer.Line("%d MBytes user address space free.\r\n", mebibytes(memory.ullAvailVirtual));

  const std::uint32_t type = facts.board_type.load();
  writer.Line("Driven device is of %s type, numbered %d and referenced as 0x%08X.\r\n",
              type == kBoardTypePci ? "PCI" : type == kBoardTypePc104 ? "PC104" : "unknown",
              static_cast<int>(facts.board_number.load()), facts.serial_number.load());

  if (record.ExceptionCode == EXCEPTION_ACCESS_VIOLATION && record.NumberParameters >= 2) {
    writer.Line("%s location %08llx caused an access violation.\r\n",
                record.ExceptionInformation[0] == 0 ? "Read from" : "Write to",
                static_cast<unsigned long long>(record.ExceptionInformation[1]));
  }
}

// 10: the registers at the exception.
void WriteContext(const CONTEXT& c) {
  using u64 = unsigned long long;
  writer.Line("\r\n");
  writer.Line("Context:\r\n");
  writer.Line("RDI:    0x%016llx  RSI: 0x%016llx  RAX:   0x%016llx\r\n", u64{c.Rdi}, u64{c.Rsi}, u64{c.Rax});
  writer.Line("RBX:    0x%016llx  RCX: 0x%016llx  RDX:   0x%016llx\r\n", u64{c.Rbx}, u64{c.Rcx}, u64{c.Rdx});
  writer.Line("R8:     0x%016llx  R9:  0x%016llx  R10:   0x%016llx\r\n", u64{c.R8}, u64{c.R9}, u64{c.R10});
  writer.Line("R11:    0x%016llx  R12: 0x%016llx  R13:   0x%016llx\r\n", u64{c.R11}, u64{c.R12}, u64{c.R13});
  writer.Line("R14:    0x%016llx  R15: 0x%016llx\r\n", u64{c.R14}, u64{c.R15});
  writer.Line("RIP:    0x%016llx  RBP: 0x%016llx  SegCs: 0x%08x\r\n", u64{c.Rip}, u64{c.Rbp}, c.SegCs);
  writer.Line("RFlags: 0x%08x          RSP: 0x%016llx  SegSs: 0x%08x\r\n", c.EFlags, u64{c.Rsp}, c.SegSs);
}

// 11: the instruction bytes, "??" for those that cannot be read.
void WriteCode(const CONTEXT& context) {
  writer.Line("\r\nBytes at CS:RIP:\r\n");
  for (std::size_t i = 0; i < kCodeBytes; ++i) {
    unsigned char byte = 0;
    SIZE_T read = 0;
    if (seh::ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(context.Rip + i), &byte, 1, &read))
      writer.Line("%02x ", byte);
    else
      writer.Line("?? ");
  }
}

// 12: the stack from the stack pointer up to the stack's base or kStackWords words, four words a
// line with their characters.
void WriteStack(const CONTEXT& context) {
  writer.Line("\r\n\r\nStack:\r\n");
  ULONG_PTR low = 0, high = 0;
  seh::GetCurrentThreadStackLimits(&low, &high);
  DWORD64 sp = context.Rsp;
  // A stack overflow leaves the stack pointer below the stack's last page: the dump then starts at
  // the first readable page above it.
  SYSTEM_INFO system;
  seh::GetSystemInfo(&system);
  std::uint64_t word = 0;
  SIZE_T read = 0;
  if (!seh::ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(sp), &word, sizeof word, &read)) {
    for (DWORD64 page = (sp | (system.dwPageSize - 1)) + 1; page < sp + kStackOverflowReach; page += system.dwPageSize) {
      if (seh::ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(page), &word, sizeof word, &read)) {
        sp = page;
        break;
      }
    }
  }
  std::size_t words = kStackWords;
  if (high > sp && sp >= low && (high - sp) / 8 < words) words = static_cast<std::size_t>((high - sp) / 8);
  for (std::size_t done = 0; done < words; done += kWordsPerLine) {
    const std::size_t wanted = words - done < kWordsPerLine ? words - done : kWordsPerLine;
    std::uint64_t line[kWordsPerLine] = {};
    const DWORD64 address = sp + done * 8;
    seh::ReadProcessMemory(INVALID_HANDLE_VALUE, reinterpret_cast<void*>(address), line, wanted * 8, &read);
    const std::size_t got = read / 8;
    if (got > 0) {
      writer.Line("0x%016llx: ", static_cast<unsigned long long>(address));
      for (std::size_t i = 0; i < got; ++i) writer.Line("%016llx ", static_cast<unsigned long long>(line[i]));
      // The last line of the dump keeps its characters in their column.
      for (std::size_t i = got; i < kWordsPerLine; ++i) writer.Line("                 ");
      char ascii[kWordsPerLine * 8 + 1];
      for (std::size_t i = 0; i < got * 8; ++i) {
        const auto c = static_cast<unsigned char>(line[i / 8] >> (8 * (i % 8)));
        ascii[i] = c >= 32 && c <= 126 ? static_cast<char>(c) : '.';
      }
      ascii[got * 8] = '\0';
      writer.Line("%s\r\n", ascii);
    }
    if (got < wanted) {
      writer.Line("Exception encountered during stack dump.\r\n");
      return;
    }
  }
}

// 13: the modules, numbered from 1. Modules here carry no version resource: their version strings
// are empty and their versions 0.0.0.0; an ELF image has no checksum or time stamp in its headers.
void WriteModules() {
  HANDLE snapshot = seh::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  static MODULEENTRY32 entry;
  entry.dwSize = sizeof entry;
  int number = 0;
  for (BOOL more = seh::Module32First(snapshot, &entry); more; more = seh::Module32Next(snapshot, &entry)) {
    long long size = 0;
    char when[32] = "";
    WIN32_FILE_ATTRIBUTE_DATA file{};
    if (seh::GetFileAttributesExA(entry.szExePath, GetFileExInfoStandard, &file)) {
      size = static_cast<long long>((static_cast<std::uint64_t>(file.nFileSizeHigh) << 32) | file.nFileSizeLow);
      DateTimeText(file.ftLastWriteTime, when);
    }
    writer.Line("Module %d\r\n", ++number);
    writer.Line("%s\r\n", entry.szExePath);
    writer.Line("Image Base: 0x%08llx  Image Size: 0x%08x\r\n",
                static_cast<unsigned long long>(reinterpret_cast<std::uintptr_t>(entry.modBaseAddr)),
                entry.modBaseSize);
    writer.Line("Checksum:   0x%08x  Time Stamp: 0x%08x\r\n", 0u, 0u);
    writer.Line("File Size:  %-10lld  File Time:  %s\r\n", size, when);
    writer.Line("Version Information:\r\n");
    writer.Line("   Company:    %s\r\n", "");
    writer.Line("   Product:    %s\r\n", "");
    writer.Line("   FileDesc:   %s\r\n", "");
    writer.Line("   FileVer:    %d.%d.%d.%d\r\n", 0, 0, 0, 0);
    writer.Line("   ProdVer:    %d.%d.%d.%d\r\n", 0, 0, 0, 0);
    writer.Line("\r\n");
  }
  seh::CloseHandle(snapshot);
}

void WriteReport(EXCEPTION_POINTERS* pointers, const char* label) {
  const EXCEPTION_RECORD& record = *pointers->ExceptionRecord;
  const CONTEXT& context = *pointers->ContextRecord;
  auto heading = [&] { WriteHeading(record, context, label); };
  auto registers = [&] { WriteContext(context); };
  auto code = [&] { WriteCode(context); };
  auto stack = [&] { WriteStack(context); };
  auto modules = [] { WriteModules(); };
  seh::Probe(heading);
  seh::Probe(registers);
  seh::Probe(code);
  if (!seh::Probe(stack)) writer.Line("Exception encountered during stack dump.\r\n");
  seh::Probe(modules);
  writer.Line("\r\n===== [end of %s] =====\r\n", kCrashReportFile);
}

}  // namespace

void PrepareCrashReport() {
  seh::PrepareProcessFacts();
  const std::filesystem::path program = ProgramPath();
  if (!program.empty()) {
    Store(facts.program_path, program.string());
    Store(facts.program_file, program.filename().string());
    Store(facts.crash_program, (program.parent_path() / kCrashProgram).string());
  }
  char name[sizeof facts.system_name], release[sizeof facts.system_version];
  if (seh::GetKernelName(name, sizeof name, release, sizeof release)) {
    Store(facts.system_name, name);
    Store(facts.system_version, release);
  }
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  DeriveFromFolder(error ? std::string(".") : current.string());
}

void SetCrashReportFolder(const std::filesystem::path& working_folder) { DeriveFromFolder(working_folder.string()); }

void SetCrashReportBoard(std::uint32_t board_type, std::uint16_t board_number, std::uint32_t serial_number) {
  facts.board_type = board_type;
  facts.board_number = board_number;
  facts.serial_number = serial_number;
}

bool WriteCrashFiles(EXCEPTION_POINTERS* pointers, const char* label) {
  if (seh::GetFileAttributesA(facts.dump_folder) == INVALID_FILE_ATTRIBUTES)
    seh::SHCreateDirectoryExA(nullptr, facts.dump_folder, nullptr);
  const HANDLE report = seh::CreateFileA(facts.report_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (report == INVALID_HANDLE_VALUE) {
    seh::OutputDebugStringA(kEntryLine);
    return false;
  }
  writer.Open(report);
  WriteReport(pointers, label);
  writer.Close();

  const HANDLE dump = seh::CreateFileA(facts.dump_path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_WRITE_THROUGH, nullptr);
  if (dump != INVALID_HANDLE_VALUE) {
    seh::OutputDebugStringA(kDumpLine);
    MINIDUMP_EXCEPTION_INFORMATION exception{seh::GetCurrentThreadId(), pointers, FALSE};
    seh::MiniDumpWriteDump(INVALID_HANDLE_VALUE, seh::GetCurrentProcessId(), dump, MiniDumpNormal, &exception, nullptr,
                           nullptr);
    seh::CloseHandle(dump);
  }
  return true;
}

LONG WriteCrashReport(EXCEPTION_POINTERS* pointers, const char* label) {
  // Only the first exception is reported; one on another thread meanwhile waits in the guard until
  // this filter is done.
  if (!first_exception.exchange(false) || pointers == nullptr || pointers->ExceptionRecord == nullptr ||
      pointers->ContextRecord == nullptr)
    return EXCEPTION_CONTINUE_SEARCH;
  if (!WriteCrashFiles(pointers, label)) return EXCEPTION_CONTINUE_SEARCH;
  if (seh::IsDebuggerPresent()) return EXCEPTION_CONTINUE_SEARCH;
  static char command_line[sizeof facts.command_line];
  std::memcpy(command_line, facts.command_line, sizeof command_line);
  STARTUPINFOA startup{sizeof(STARTUPINFOA), STARTF_USESHOWWINDOW, SW_SHOW};
  PROCESS_INFORMATION process{};
  if (!seh::CreateProcessA(nullptr, command_line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return EXCEPTION_CONTINUE_SEARCH;
  return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace plandrel
