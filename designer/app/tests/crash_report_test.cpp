// The crash report as the designer writes it: a copy of the designer (the crash child) started on
// the simulated machine raises an exception once start-up is done; the report, the dump, the
// crash-report program and the child's end are checked from outside.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "corvix.h"
#include "crash_format.h"
#include "minidump_reader.h"
#include "testing/application.h"

namespace {

namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
  std::stringstream text;
  text << std::ifstream(path, std::ios::binary).rdbuf();
  return text.str();
}

// The report's lines (CR LF removed); `bare` tells whether a line feed came without its CR.
std::vector<std::string> LinesOf(const std::string& text, bool& bare) {
  std::vector<std::string> lines;
  bare = false;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\n') continue;
    if (i == 0 || text[i - 1] != '\r') bare = true;
    lines.push_back(text.substr(start, i - start - (i > start && text[i - 1] == '\r' ? 1 : 0)));
    start = i + 1;
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::string Escape(const std::string& text) { return std::regex_replace(text, std::regex(R"([.^$|()\[\]{}*+?\\])"), R"(\$&)"); }

struct Fault {
  const char* kind;
  const char* description;
  const char* code;
  int signal;
  const char* label;
};

class CrashReportTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("plandrel-crash-" + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()) + "-" +
             std::regex_replace(::testing::UnitTest::GetInstance()->current_test_info()->name(), std::regex("/"), "_"));
    fs::remove_all(root_);
    fs::create_directories(root_ / "bin");
    // The program's own folder is where the crash-report program is looked for: a copy of the
    // child in a folder of the test's.
    program_ = root_ / "bin" / "plandrel_crash_child";
    fs::copy_file(PLANDREL_CRASH_CHILD, program_);
    dump_folder_ = root_ / "data" / "Talvenor" / "Quorelle" / "Dump";
  }
  void TearDown() override { fs::remove_all(root_); }

  qtesting::ChildEnd Run(const std::string& kind, const std::vector<std::string>& more = {}) {
    std::vector<std::string> arguments{kind};
    arguments.insert(arguments.end(), more.begin(), more.end());
    return qtesting::runProgram(program_, arguments,
                                {"QT_QPA_PLATFORM=offscreen", "XDG_DATA_HOME=" + (root_ / "data").string(),
                                 "QUORELLE_DEBUG_OUTPUT=1"},
                                root_ / "stderr");
  }
  std::string Report() const { return ReadFile(dump_folder_ / "PLANDREL_ERRORLOG.TXT"); }
  void InstallCrashProgram() const {
    const fs::path script = root_ / "bin" / "XCrashReport.exe";
    std::ofstream(script) << "#!/bin/sh\nfor a in \"$@\"; do printf '[%s]\\n' \"$a\"; done > \"$0.args\"\n"
                             "mv \"$0.args\" \"$0.out\"\n";
    fs::permissions(script, fs::perms::owner_all);
  }

  // Checks every section of the report in order; `fault` gives the first lines.
  void CheckSections(const std::string& report, const Fault& fault, const std::string& program) const {
    bool bare = true;
    const std::vector<std::string> lines = LinesOf(report, bare);
    EXPECT_FALSE(bare) << "every line ends with CR LF";
    ASSERT_GT(lines.size(), 40u) << report;
    std::string release;
    std::getline(std::ifstream("/proc/sys/kernel/osrelease"), release);
    const std::string number = R"(\d+)", hex8 = "[0-9a-f]{8,}", hex16 = "0x[0-9a-f]{16}";
    std::vector<std::string> expected = {
        "Plandrel caused " + Escape(fault.description) + " \\(" + fault.code + "\\) ",
        "in module .+ at 0033:" + hex8 + "\\.",
        "",
        "Exception handler called in " + Escape(fault.label) + "\\.",
        R"(Error occurred at \d{1,2}/\d{1,2}/\d{4} \d{2}:\d{2}:\d[02468]\.)",
        Escape(program) + "(| \\(deleted\\))\\.",
        "Operating system:  Linux \\(" + Escape(release) + "\\)\\.",
        number + R"( processor\(s\), type 8664\.)",
        number + "% memory in use\\.",
        number + " MBytes physical memory\\.",
        number + " MBytes physical memory free\\.",
        number + " MBytes paging file\\.",
        number + " MBytes paging file free\\.",
        number + " MBytes user address space\\.",
        number + " MBytes user address space free\\.",
        "Driven device is of PCI type, numbered 1 and referenced as " + serial_ + "\\.",
    };
    // A null write; a write below the stack (overflow); a write to an unmapped page (bad stack).
    if (std::string(fault.code) == "0xc0000005") {
      const std::string where = fault.kind == std::string("bad-stack") ? "00010000" : "00000000";
      expected.push_back("Write to location " + where + " caused an access violation\\.");
    }
    for (const char* line : {"", "Context:"}) expected.push_back(line);
    for (const std::string& line :
         {"RDI:    " + hex16 + "  RSI: " + hex16 + "  RAX:   " + hex16, "RBX:    " + hex16 + "  RCX: " + hex16 + "  RDX:   " + hex16,
          "R8:     " + hex16 + "  R9:  " + hex16 + "  R10:   " + hex16, "R11:    " + hex16 + "  R12: " + hex16 + "  R13:   " + hex16,
          "R14:    " + hex16 + "  R15: " + hex16, "RIP:    " + hex16 + "  RBP: " + hex16 + "  SegCs: 0x00000033",
          "RFlags: 0x[0-9a-f]{8}          RSP: " + hex16 + "  SegSs: 0x0000002b", std::string(), std::string("Bytes at CS:RIP:"),
          std::string(R"((([0-9a-f]{2}|\?\?) ){16})"), std::string(), std::string("Stack:")})
      expected.push_back(line);
    std::size_t at = 0;
    for (; at < expected.size() && at < lines.size(); ++at)
      EXPECT_TRUE(std::regex_match(lines[at], std::regex(expected[at]))) << "line " << at << ": " << lines[at];
    // The stack: four words a line with their characters, the last line padded.
    const std::regex stackLine("0x[0-9a-f]{16}: ([0-9a-f]{16} ){4}.{32}");
    const std::regex lastStackLine("0x[0-9a-f]{16}: ([0-9a-f]{16} ){1,4}( {17}){0,3}.{8,32}");
    std::size_t stackLines = 0;
    while (at < lines.size() && lines[at].rfind("Module ", 0) != 0 && lines[at] != "Exception encountered during stack dump.") {
      EXPECT_TRUE(std::regex_match(lines[at], stackLine) || std::regex_match(lines[at], lastStackLine))
          << "line " << at << ": " << lines[at];
      ++at;
      ++stackLines;
    }
    stack_lines_ = stackLines;
    if (at < lines.size() && lines[at] == "Exception encountered during stack dump.") {
      stack_failed_ = true;
      ++at;
    }
    // The modules, numbered from 1.
    modules_.clear();
    for (int n = 1; at + 12 <= lines.size() && lines[at] == "Module " + std::to_string(n); ++n, at += 12) {
      modules_.push_back(lines[at + 1]);
      EXPECT_TRUE(std::regex_match(lines[at + 2], std::regex("Image Base: 0x" + hex8 + "  Image Size: 0x[0-9a-f]{8}"))) << lines[at + 2];
      EXPECT_EQ(lines[at + 3], "Checksum:   0x00000000  Time Stamp: 0x00000000");
      EXPECT_TRUE(std::regex_match(lines[at + 4], std::regex(R"(File Size:  [0-9 ]{10}  File Time:  (\d+/\d+/\d{4} \d\d:\d\d:\d\d)?)")))
          << lines[at + 4];
      module_sizes_.push_back(lines[at + 4]);
      const std::vector<std::string> version = {"Version Information:", "   Company:    ", "   Product:    ", "   FileDesc:   ",
                                                "   FileVer:    0.0.0.0", "   ProdVer:    0.0.0.0", ""};
      for (std::size_t i = 0; i < version.size(); ++i) EXPECT_EQ(lines[at + 5 + i], version[i]);
    }
    EXPECT_FALSE(modules_.empty());
    ASSERT_EQ(lines.size(), at + 2) << "the end line follows the modules";
    EXPECT_EQ(lines[at], "");
    EXPECT_EQ(lines[at + 1], "===== [end of PLANDREL_ERRORLOG.TXT] =====");
  }

  fs::path root_, program_, dump_folder_;
  std::string serial_ = [] {
    char text[16];
    plandrel::FormatText(text, sizeof text, "0x%08X", GetCardrixSerialNumber(0, 1));
    return std::string(text);
  }();
  mutable std::vector<std::string> modules_, module_sizes_;
  mutable std::size_t stack_lines_ = 0;
  mutable bool stack_failed_ = false;
};

class FaultReportTest : public CrashReportTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultReportTest, LeavesBothFilesWithEverySectionAndEndsTheProgramByItsSignal) {
  const Fault fault = GetParam();
  EXPECT_FALSE(fs::exists(dump_folder_));
  const qtesting::ChildEnd end = Run(fault.kind);
  EXPECT_EQ(end.signal, fault.signal) << end.describe() << "\n" << ReadFile(root_ / "stderr");
  CheckSections(Report(), fault, program_.string());
  EXPECT_NE(std::find(modules_.begin(), modules_.end(), program_.string()), modules_.end());
  EXPECT_GT(stack_lines_, 0u);
  EXPECT_FALSE(stack_failed_);
  const auto dump = seh_testing::readDump((dump_folder_ / "PLANDREL_CRASH.DMP").string());
  ASSERT_TRUE(dump.has_value());
  // The faulting thread first, then the process's other threads (the main thread among them), each
  // with its stack.
  ASSERT_FALSE(dump->threads.empty());
  EXPECT_EQ(dump->threads[0].id, dump->exceptionThread);
  bool hasMain = false;
  for (const seh_testing::DumpThread& each : dump->threads) {
    hasMain = hasMain || each.id == dump->processId;
    EXPECT_GT(each.stackSize, 0u) << each.id;
  }
  EXPECT_TRUE(hasMain);
  EXPECT_EQ(dump->exceptionCode, static_cast<std::uint32_t>(fault.signal));
  // The stack from its pointer, or (an overflow) from the first readable page above it.
  const seh_testing::DumpThread& thread = dump->threads[0];
  EXPECT_GT(thread.stackSize, 0u);
  EXPECT_LE(thread.stackStart, thread.rsp + 65536);
  EXPECT_TRUE(dump->covers(thread.stackStart));
  EXPECT_NE(ReadFile(root_ / "stderr").find("writing minidump\r\n"), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultReportTest,
    ::testing::Values(Fault{"null-write", "an Access Violation", "0xc0000005", SIGSEGV, "ExceptionAttacher.cpp - AfxWinMain"},
                      Fault{"stack-overflow", "a Stack Overflow", "0xc00000fd", SIGSEGV, "ExceptionAttacher.cpp - AfxWinMain"},
                      Fault{"divide", "an Integer Divide by Zero", "0xc0000094", SIGFPE, "ExceptionAttacher.cpp - AfxWinMain"},
                      Fault{"abort", "an Unknown exception type", "0x40000015", SIGABRT, "ExceptionAttacher.cpp - AfxWinMain"},
                      Fault{"throw", "a Microsoft C++ Exception", "0xe06d7363", SIGABRT, "ExceptionAttacher.cpp - AfxWinMain"},
                      Fault{"session-thread", "an Access Violation", "0xc0000005", SIGSEGV, "Fip - FncTacheLitFip"}),
    [](const auto& info) { return std::regex_replace(info.param.kind, std::regex("-"), "_"); });

TEST_F(CrashReportTest, TheCrashReportProgramGetsItsThreeArgumentsUnlessADebuggerIsAttached) {
  InstallCrashProgram();
  const fs::path out = root_ / "bin" / "XCrashReport.exe.out";
  EXPECT_EQ(Run("null-write").signal, SIGSEGV) << "the program ends by the fault, not with success";
  for (int i = 0; i < 500 && !fs::exists(out); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(ReadFile(out), "[plandrel_crash_child ]\n[" + (dump_folder_.string() + "/") + " ]\n");

  // A debugger that can run a program here (tracing may be forbidden where the tests run).
  if (std::system("gdb --batch -ex run --args /bin/true 2>&1 | grep -q 'exited normally'") != 0)
    GTEST_SKIP() << "no debugger that can trace a program";
  fs::remove(out);
  fs::remove_all(dump_folder_);
  const std::string command = "QT_QPA_PLATFORM=offscreen XDG_DATA_HOME='" + (root_ / "data").string() +
                              "' gdb --batch -ex 'handle SIGSEGV nostop noprint pass' -ex run --args '" +
                              program_.string() + "' null-write > '" + (root_ / "gdb.txt").string() + "' 2>&1";
  std::system(command.c_str());
  EXPECT_TRUE(fs::exists(dump_folder_ / "PLANDREL_ERRORLOG.TXT"));
  EXPECT_TRUE(fs::exists(dump_folder_ / "PLANDREL_CRASH.DMP"));
  EXPECT_NE(ReadFile(root_ / "gdb.txt").find("SIGSEGV"), std::string::npos) << "the exception reached the debugger";
  // Under the debugger no thread is held (it would stop at the hold's signal): the dump still lists
  // every thread the debugger saw start, each with its stack as last known.
  const auto dump = seh_testing::readDump((dump_folder_ / "PLANDREL_CRASH.DMP").string());
  ASSERT_TRUE(dump.has_value());
  const std::string said = ReadFile(root_ / "gdb.txt");
  std::set<std::uint32_t> started{dump->processId}, dumped;
  const std::regex lwp(R"(\[New Thread 0x[0-9a-f]+ \(LWP (\d+)\)\])");
  for (auto it = std::sregex_iterator(said.begin(), said.end(), lwp); it != std::sregex_iterator(); ++it)
    started.insert(static_cast<std::uint32_t>(std::stoul((*it)[1].str())));
  for (const seh_testing::DumpThread& thread : dump->threads) {
    dumped.insert(thread.id);
    EXPECT_GT(thread.stackSize, 0u) << thread.id;
  }
  EXPECT_EQ(dumped, started);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_FALSE(fs::exists(out)) << "no crash-report program under a debugger";
}

TEST_F(CrashReportTest, AnUnwritableDumpFolderIsToldOnTheDebuggerOutputAndTheProgramStillEndsByTheSignal) {
  fs::create_directories(dump_folder_.parent_path());
  std::ofstream(dump_folder_) << "a file where the folder should be";
  const qtesting::ChildEnd end = Run("null-write");
  EXPECT_EQ(end.signal, SIGSEGV) << end.describe();
  EXPECT_NE(ReadFile(root_ / "stderr").find("Error creating exception report\r\n"), std::string::npos);
  EXPECT_TRUE(fs::is_regular_file(dump_folder_));
}

TEST_F(CrashReportTest, OnlyTheFirstExceptionIsReported) {
  const fs::path folder = root_ / "twice";
  EXPECT_TRUE(Run("twice", {folder.string()}).clean());
  const std::string report = ReadFile(folder / "Dump" / "PLANDREL_ERRORLOG.TXT");
  EXPECT_NE(report.find("an Integer Divide by Zero"), std::string::npos);
  EXPECT_EQ(report.find("an Access Violation"), std::string::npos);
  EXPECT_NE(report.find("===== [end of PLANDREL_ERRORLOG.TXT] ====="), std::string::npos);
}

TEST_F(CrashReportTest, TwoThreadsFaultingTogetherLeaveOneWholeReport) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Run("two-threads").signal, SIGSEGV);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(9)) << "the second thread's wait is bounded";
  const std::string report = Report();
  const bool session = report.find("Exception handler called in Fip - FncTacheLitFip.") != std::string::npos;
  const bool second = report.find("Exception handler called in Second thread.") != std::string::npos;
  EXPECT_NE(session, second) << "one report, one label";
  const std::string end = "===== [end of PLANDREL_ERRORLOG.TXT] =====\r\n";
  EXPECT_EQ(report.find(end), report.size() - end.size());
}

TEST_F(CrashReportTest, ADeletedModuleFileIsReportedWithoutItsFile) {
  EXPECT_EQ(Run("deleted-module").signal, SIGSEGV);
  const std::string report = Report();
  CheckSections(report, {"", "an Access Violation", "0xc0000005", SIGSEGV, "ExceptionAttacher.cpp - AfxWinMain"},
                program_.string());
  const auto deleted = std::find(modules_.begin(), modules_.end(), program_.string() + " (deleted)");
  ASSERT_NE(deleted, modules_.end());
  EXPECT_EQ(module_sizes_[deleted - modules_.begin()], "File Size:  0           File Time:  ");
}

TEST_F(CrashReportTest, AnUnreadableStackEndsTheStackDumpAndTheReportGoesOn) {
  EXPECT_EQ(Run("bad-stack").signal, SIGSEGV);
  CheckSections(Report(), {"bad-stack", "an Access Violation", "0xc0000005", SIGSEGV, "ExceptionAttacher.cpp - AfxWinMain"},
                program_.string());
  EXPECT_TRUE(stack_failed_);
  EXPECT_EQ(stack_lines_, 0u);
  EXPECT_TRUE(fs::exists(dump_folder_ / "PLANDREL_CRASH.DMP"));
}

TEST(CrashFormat, FormatsTheReportsDirectivesWithinTheBuffer) {
  struct Case {
    std::string expected;
    std::string got;
  };
  char b[64];
  auto f = [&b](auto... arguments) {
    plandrel::FormatText(b, sizeof b, arguments...);
    return std::string(b);
  };
  const Case cases[] = {
      {"0x0000002a 0x2A", f("0x%08x 0x%X", 42u, 42u)},
      {"00000000", f("%08x", 0u)},
      {"7fffffffe000", f("%08llx", 0x7fffffffe000ull)},
      {"-5|-0005|   -5|-5   |", f("%d|%05d|%5d|%-5d|", -5, -5, -5, -5)},
      {"12        |x", f("%-10lld|%c", 12LL, 'x')},
      {"100%", f("%d%%", 100)},
      {"0033:00401000", f("%04x:%08llx", 0x33u, 0x401000ull)},
      {"18446744073709551615", f("%llu", ~0ull)},
      {"-9223372036854775808", f("%lld", static_cast<long long>(1ULL << 63))},
  };
  for (const Case& c : cases) EXPECT_EQ(c.got, c.expected);

  char small[8];
  EXPECT_EQ(plandrel::FormatText(small, sizeof small, "%s", "0123456789"), 10u) << "the whole length";
  EXPECT_STREQ(small, "0123456");
  EXPECT_EQ(plandrel::FormatText(nullptr, 0, "%d", 12345), 5u);
}

}  // namespace
