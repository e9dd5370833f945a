// The guard in child processes: each fault reaches the filter as the platform's exception, the
// child then ends by the fault's signal, and the dump written by the filter reads back.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "guard_fixture.h"
#include "minidump_reader.h"

namespace {

using seh_testing::GuardTest;
using seh_testing::Record;
namespace fs = std::filesystem;

struct Fault {
    const char* kind;
    std::uint32_t code;
    int signal;
};

class FaultTest : public GuardTest, public ::testing::WithParamInterface<Fault> {};

TEST_P(FaultTest, ReachesTheFilterAsItsExceptionThenEndsTheProcessByItsSignal) {
    const Fault fault = GetParam();
    const qtesting::ChildEnd end = run(fault.kind);
    EXPECT_EQ(end.signal, fault.signal) << end.describe();
    const Record r = record();
    ASSERT_TRUE(r.exists);
    EXPECT_EQ(r.fields.at("label"), "guard");
    EXPECT_EQ(r.number("code"), fault.code);
    EXPECT_TRUE(r.has("end")) << "the filter ran to its end";
    EXPECT_EQ(r.number("dump"), 1u);
    EXPECT_EQ(r.number("cs"), 0x33u);  // the 64-bit user code segment
    const std::uint64_t expectedAddress = fault.code == 0x80000003u ? r.number("rip") - 1 : r.number("rip");
    if (fault.code != 0xE06D7363u) {
        EXPECT_EQ(r.number("address"), expectedAddress);
    }
    EXPECT_FALSE(fs::exists(folder_ / "record-2")) << "one filter only";
}

INSTANTIATE_TEST_SUITE_P(Faults, FaultTest,
                         ::testing::Values(Fault{"null-write", 0xC0000005u, SIGSEGV},
                                           Fault{"null-read", 0xC0000005u, SIGSEGV},
                                           Fault{"stack-overflow", 0xC00000FDu, SIGSEGV},
                                           Fault{"divide", 0xC0000094u, SIGFPE},
                                           Fault{"illegal", 0xC000001Du, SIGILL},
                                           Fault{"breakpoint", 0x80000003u, SIGTRAP},
                                           Fault{"bus", 0xC0000006u, SIGBUS},
                                           Fault{"abort", 0x40000015u, SIGABRT},
                                           Fault{"throw", 0xE06D7363u, SIGABRT}),
                         [](const auto& info) {
                             std::string name = info.param.kind;
                             for (char& c : name)
                                 if (c == '-') c = '_';
                             return name;
                         });

TEST_F(GuardTest, AccessViolationSaysReadOrWriteAndTheAddress) {
    for (const auto& [kind, access] : {std::pair{"null-write", 1u}, std::pair{"null-read", 0u}}) {
        run(kind);
        const Record r = record();
        EXPECT_EQ(r.number("parameters"), 2u) << kind;
        ASSERT_EQ(r.parameters.size(), 2u) << kind;
        EXPECT_EQ(r.parameters[0], access) << kind;
        EXPECT_EQ(r.parameters[1], 0u) << kind;
        fs::remove(folder_ / "record-1");
    }
}

TEST_F(GuardTest, ASignalSentByAProcessHasNoAccessOrAddress) {
    const qtesting::ChildEnd end = run("sent");
    EXPECT_EQ(end.signal, SIGSEGV) << end.describe();
    const Record r = record();
    EXPECT_EQ(r.number("code"), 0xC0000005u);
    EXPECT_EQ(r.number("parameters"), 0u);
}

TEST_F(GuardTest, AFaultInsideAProbeReturnsToTheFilter) {
    const qtesting::ChildEnd end = run("probe");
    EXPECT_EQ(end.signal, SIGSEGV) << end.describe();
    const Record r = record();
    EXPECT_EQ(r.number("probe"), 0u);
    EXPECT_TRUE(r.has("end"));
}

TEST_F(GuardTest, AFaultInTheFilterOutsideAProbeEndsTheProcessByItsSignal) {
    const qtesting::ChildEnd end = run("filter-fault");
    EXPECT_EQ(end.signal, SIGSEGV) << end.describe();
    const Record r = record();
    EXPECT_TRUE(r.has("begin"));
    EXPECT_FALSE(r.has("end"));
    EXPECT_FALSE(fs::exists(folder_ / "record-2"));
}

TEST_F(GuardTest, TheInnermostGuardSeesTheException) {
    run("nested");
    EXPECT_EQ(record().fields["label"], "inner");
    EXPECT_FALSE(fs::exists(folder_ / "record-2"));
}

TEST_F(GuardTest, ABodyThatEndsNormallyGivesItsResultAndLeavesTheThreadUnguarded) {
    EXPECT_TRUE(run("returns").clean());
}

TEST_F(GuardTest, TheDumpHoldsTheFaultingThreadItsStackTheModulesAndTheException) {
    run("null-write");
    const Record r = record();
    const auto dump = seh_testing::readDump((folder_ / "crash.dmp").string());
    ASSERT_TRUE(dump.has_value());
    EXPECT_EQ(dump->streamTypes, (std::vector<std::uint32_t>{7, 15, 3, 4, 6, 5}));
    EXPECT_EQ(dump->architecture, 9);
    EXPECT_EQ(dump->platform, 0x8201u);
    EXPECT_FALSE(dump->release.empty());
    // The faulting thread comes first (a sanitizer's threads follow it).
    ASSERT_FALSE(dump->threads.empty());
    const seh_testing::DumpThread& thread = dump->threads[0];
    EXPECT_EQ(thread.id, r.number("thread"));
    EXPECT_EQ(thread.rip, r.number("rip"));
    EXPECT_EQ(thread.rsp, r.number("rsp"));
    EXPECT_EQ(thread.contextFlags & 0x00100000u, 0x00100000u);
    EXPECT_LE(thread.stackStart, thread.rsp);
    EXPECT_GT(thread.stackStart + thread.stackSize, thread.rsp);
    EXPECT_TRUE(dump->covers(thread.rsp));
    EXPECT_TRUE(dump->covers(thread.rip));
    EXPECT_EQ(dump->exceptionThread, thread.id);
    EXPECT_EQ(dump->exceptionCode, static_cast<std::uint32_t>(SIGSEGV));
    EXPECT_EQ(dump->exceptionAddress, 0u);
    ASSERT_EQ(dump->exceptionParameters.size(), 2u);
    EXPECT_EQ(dump->exceptionParameters[0], 1u);
    bool childHoldsRip = false, hasLibc = false;
    for (const seh_testing::DumpModule& module : dump->modules) {
        if (module.path == fs::canonical(SEH_CRASH_CHILD).string())
            childHoldsRip = thread.rip >= module.base && thread.rip < module.base + module.size;
        hasLibc = hasLibc || module.path.find("libc.so") != std::string::npos;
    }
    EXPECT_TRUE(childHoldsRip);
    EXPECT_TRUE(hasLibc);
}

TEST_F(GuardTest, TheDumpOpensInTheDebuggerOnTheFaultingThread) {
    if (std::system("command -v lldb > /dev/null 2>&1") != 0) GTEST_SKIP() << "lldb is not installed";
    run("null-write");
    const Record r = record();
    const fs::path output = folder_ / "lldb.txt";
    const std::string command = "lldb --batch -c '" + (folder_ / "crash.dmp").string() +
                                "' -o 'thread list' -o 'bt' > '" + output.string() + "' 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0);
    std::stringstream text;
    text << std::ifstream(output).rdbuf();
    const std::string said = text.str();
    std::stringstream tid;
    tid << "tid = " << r.number("thread");
    EXPECT_NE(said.find(tid.str()), std::string::npos) << said;
    EXPECT_NE(said.find("SIGSEGV"), std::string::npos) << said;
    EXPECT_NE(said.find("crash_child"), std::string::npos) << said;
}

}  // namespace
