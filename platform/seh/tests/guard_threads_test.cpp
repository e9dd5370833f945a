// The guard with several threads: a fault on a thread that no guard covers, two guarded threads
// faulting at the same moment, and the dump of a process with several threads.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "guard_fixture.h"
#include "minidump_reader.h"

namespace {

using seh_testing::GuardTest;
using seh_testing::Record;
namespace fs = std::filesystem;

TEST_F(GuardTest, AFaultOnAnUnguardedThreadTakesTheDefaultPath) {
    const qtesting::ChildEnd end = run("unguarded");
    // Without guards: the default action, or the handler that was there before (a sanitizer's,
    // which reports and exits).
    EXPECT_FALSE(end.clean()) << end.describe();
    if (end.signal != 0) {
        EXPECT_EQ(end.signal, SIGSEGV) << end.describe();
    }
    EXPECT_FALSE(record().exists);
}


TEST_F(GuardTest, ASecondThreadFaultingMeanwhileWaitsAndNeverCutsTheFirstFilterShort) {
    const auto start = std::chrono::steady_clock::now();
    const qtesting::ChildEnd end = run("two-threads");
    EXPECT_EQ(end.signal, SIGSEGV) << end.describe();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
    const Record r = record();
    EXPECT_TRUE(r.has("end")) << "the first filter (which sleeps) was not cut short";
    EXPECT_FALSE(fs::exists(folder_ / "record-2"));
}


// The child's threads as it listed them before the fault: a session-like guarded thread, one that
// blocks every signal (it cannot be held: its last known state stands), the main thread, and those
// of the sanitizers if any. The dump lists each with its stack, and the exception names the
// faulting thread.
class DumpThreadsTest : public GuardTest {
protected:
    void expectEveryThread(const std::string& kind, const std::string& faulting) {
        const qtesting::ChildEnd end = run(kind);
        EXPECT_EQ(end.signal, SIGSEGV) << end.describe();
        const Record r = record();
        EXPECT_EQ(r.fields.at("label"), faulting);
        EXPECT_EQ(r.number("dump"), 1u);
        // The thread that cannot answer costs the answer's bound, not the filter's whole time.
        EXPECT_LT(r.number("end") - r.number("begin"), 30'000'000u) << "3 s in 100-ns ticks";
        std::set<std::uint32_t> listed;
        std::ifstream list(folder_ / "threads");
        for (std::uint32_t tid; list >> tid;) listed.insert(tid);
        ASSERT_GE(listed.size(), 3u);
        const auto dump = seh_testing::readDump((folder_ / "crash.dmp").string());
        ASSERT_TRUE(dump.has_value());
        std::set<std::uint32_t> dumped;
        for (const seh_testing::DumpThread& thread : dump->threads) {
            dumped.insert(thread.id);
            EXPECT_NE(thread.rip, 0u) << thread.id;
            EXPECT_GT(thread.stackSize, 0u) << thread.id;
            EXPECT_LE(thread.stackStart, thread.rsp) << thread.id;
            EXPECT_GT(thread.stackStart + thread.stackSize, thread.rsp) << thread.id;
            EXPECT_TRUE(dump->covers(thread.rsp)) << thread.id;
            if (thread.id == r.number("thread")) {
                EXPECT_EQ(thread.rip, r.number("rip"));
                EXPECT_EQ(thread.rsp, r.number("rsp"));
            }
        }
        EXPECT_EQ(dump->threads.size(), listed.size());
        EXPECT_EQ(dumped, listed);
        EXPECT_EQ(dump->exceptionThread, r.number("thread"));
        EXPECT_EQ(dumped.count(dump->exceptionThread), 1u);
        if (std::system("command -v lldb > /dev/null 2>&1") != 0) return;
        const fs::path output = folder_ / "lldb.txt";
        const std::string command = "lldb --batch -c '" + (folder_ / "crash.dmp").string() + "' -o 'thread list' > '" +
                                    output.string() + "' 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::stringstream text;
        text << std::ifstream(output).rdbuf();
        for (const std::uint32_t tid : listed)
            EXPECT_NE(text.str().find("tid = " + std::to_string(tid)), std::string::npos) << tid << "\n" << text.str();
    }
};

TEST_F(DumpThreadsTest, AFaultOfTheSessionThreadDumpsEveryThreadWithItsStack) {
    expectEveryThread("threads-session", "session");
}

TEST_F(DumpThreadsTest, AFaultOfTheMainThreadDumpsEveryThreadWithItsStack) {
    expectEveryThread("threads-main", "main");
}

}  // namespace
