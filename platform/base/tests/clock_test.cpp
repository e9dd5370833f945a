#include "base/clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

using std::chrono::steady_clock;

TEST(VirtualClock, FiftySecondWaitRunsInstantlyAndTimesOut) {
    qbase::VirtualClock clock;
    std::mutex mutex;
    std::condition_variable cv;
    const auto start = steady_clock::now();
    std::unique_lock lock(mutex);
    const std::uint64_t before = clock.now();
    EXPECT_FALSE(qbase::waitFor(lock, cv, 50ull * 10'000'000, [] { return false; }));
    EXPECT_GE(clock.now() - before, 50ull * 10'000'000);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1));
}

TEST(VirtualClock, WaitWhoseConditionHoldsDoesNotAdvance) {
    qbase::VirtualClock clock;
    std::mutex mutex;
    std::condition_variable cv;
    std::unique_lock lock(mutex);
    const std::uint64_t before = clock.now();
    EXPECT_TRUE(qbase::waitFor(lock, cv, 20ull * 10'000'000, [] { return true; }));
    EXPECT_EQ(clock.now(), before);
}

TEST(VirtualClock, SleepAdvancesAtOnceAndTickCountFollows) {
    qbase::VirtualClock clock(0);
    const std::uint32_t ticks = qbase::tickCountMs();
    const auto start = steady_clock::now();
    qbase::sleepMs(20'000);
    EXPECT_EQ(qbase::tickCountMs() - ticks, 20'000u);
    EXPECT_EQ(qbase::kernelTickCount(), 20'000ull * 10'000 / qbase::timeIncrement100ns());
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1));
}

// A driver-style poll loop that reads the time until a 50 s limit ends after a bounded number of reads.
TEST(VirtualClock, PollingLoopOnReadsEnds) {
    qbase::VirtualClock clock(10'000);  // 1 ms per read
    const std::uint64_t limit = qbase::systemTime100ns() + 50ull * 10'000'000;
    int reads = 0;
    while (qbase::systemTime100ns() < limit) ++reads;
    EXPECT_EQ(reads, 49'999);
}

TEST(RealClock, ReturnsAfterVirtualClockAndMovesForward) {
    { qbase::VirtualClock clock; clock.advance(1'000'000'000); }
    const std::uint64_t a = qbase::systemTime100ns();
    qbase::sleepMs(2);
    EXPECT_GE(qbase::systemTime100ns() - a, 20'000u);
    std::mutex mutex;
    std::condition_variable cv;
    std::unique_lock lock(mutex);
    EXPECT_FALSE(qbase::waitFor(lock, cv, 10'000, [] { return false; }));
}

}  // namespace
