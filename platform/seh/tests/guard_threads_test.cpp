// The guard with several threads: a fault on a thread that no guard covers, and two guarded
// threads faulting at the same moment.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>

#include "guard_fixture.h"

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


}  // namespace
