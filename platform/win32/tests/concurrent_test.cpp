#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "fake_seam.h"
#include "win32/windows.h"

namespace {

using qwin32::testing::FakeSeam;

TEST(Win32Threads, LastErrorIsPerThread) {
    SetLastError(5);
    std::thread other([] {
        EXPECT_EQ(GetLastError(), 0u);
        SetLastError(121);
    });
    other.join();
    EXPECT_EQ(GetLastError(), 5u);
}

// A close from another thread while a request runs: the device stays open until the request returns.
TEST(Win32Threads, CloseDuringARequestClosesAfterIt) {
    FakeSeam seam;
    seam.addDevice("\\\\.\\AMBRIX1", true);
    const HANDLE board = CreateFileA("\\\\.\\AMBRIX1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(board, INVALID_HANDLE_VALUE);
    std::promise<void> entered, release;
    std::shared_future<void> released = release.get_future().share();
    seam.onControl = [&] {
        entered.set_value();
        released.wait();
    };
    std::thread request([&] {
        std::uint8_t out[2];
        DWORD n = 0;
        EXPECT_TRUE(DeviceIoControl(board, 0x222000, nullptr, 0, out, sizeof out, &n, nullptr));
    });
    entered.get_future().wait();
    EXPECT_TRUE(CloseHandle(board));
    EXPECT_EQ(seam.openFiles("\\\\.\\AMBRIX1"), 1);
    release.set_value();
    request.join();
    EXPECT_EQ(seam.openFiles("\\\\.\\AMBRIX1"), 0);
}

TEST(Win32Threads, SetEventWakesAWaiterOnTheRealClock) {
    const HANDLE command = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::thread worker([&] {
        EXPECT_EQ(WaitForSingleObject(command, INFINITE), DWORD{WAIT_OBJECT_0});
        SetEvent(done);
    });
    SetEvent(command);
    EXPECT_EQ(WaitForSingleObject(done, 10'000), DWORD{WAIT_OBJECT_0});
    worker.join();
    CloseHandle(command);
    CloseHandle(done);
}

// How many times a thread of this process has blocked so far.
long voluntarySwitches(pid_t tid) {
    std::ifstream status("/proc/self/task/" + std::to_string(tid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.starts_with("voluntary_ctxt_switches:")) return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

// A thread waiting on one event sleeps on while others are set: each set wakes the waits on its
// own event only.
TEST(Win32Threads, SetEventLeavesTheWaitsOnOtherEventsAsleep) {
    const HANDLE mine = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const HANDLE other = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<pid_t> tid{0};
    std::thread waiter([&] {
        tid = gettid();
        EXPECT_EQ(WaitForSingleObject(mine, INFINITE), DWORD{WAIT_OBJECT_0});
    });
    while (tid.load() == 0) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));  // blocked by now
    const long before = voluntarySwitches(tid);
    for (int i = 0; i < 50; ++i) {
        SetEvent(other);
        ResetEvent(other);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const long after = voluntarySwitches(tid);
    SetEvent(mine);
    waiter.join();
    ASSERT_GE(before, 0);
    EXPECT_LT(after - before, 5);
    CloseHandle(mine);
    CloseHandle(other);
}

// Several threads blocked on one event: one set releases every wait on a manual-reset event, and
// exactly one on an auto-reset event.
TEST(Win32Threads, ASetReleasesAllBlockedWaitsOfAManualEventAndOneOfAnAutoResetEvent) {
    constexpr int kWaiters = 4;
    for (const BOOL manualReset : {TRUE, FALSE}) {
        const HANDLE event = CreateEventA(nullptr, manualReset, FALSE, nullptr);
        std::atomic<int> started{0}, released{0};
        std::vector<std::thread> waiters;
        for (int i = 0; i < kWaiters; ++i) {
            waiters.emplace_back([&] {
                ++started;
                if (WaitForSingleObject(event, 10'000) == WAIT_OBJECT_0) ++released;
            });
        }
        while (started.load() < kWaiters) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));  // blocked by now
        EXPECT_EQ(released.load(), 0);
        for (int set = 1; set <= (manualReset ? 1 : kWaiters); ++set) {
            SetEvent(event);
            const int expected = manualReset ? kWaiters : set;
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (released.load() < expected && std::chrono::steady_clock::now() < deadline)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));  // time for a wait released too many
            EXPECT_EQ(released.load(), expected) << (manualReset ? "manual-reset" : "auto-reset") << ", set " << set;
        }
        for (std::thread& waiter : waiters) waiter.join();
        CloseHandle(event);
    }
}

TEST(Win32Threads, HandlesFromManyThreadsAreDistinct) {
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 200; ++i) {
                const HANDLE e = CreateEventA(nullptr, TRUE, TRUE, nullptr);
                if (WaitForSingleObject(e, 0) != WAIT_OBJECT_0 || !CloseHandle(e) || CloseHandle(e)) ++failures;
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
