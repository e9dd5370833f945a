#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "base/clock.h"
#include "win32/windows.h"

namespace {

using std::chrono::steady_clock;

TEST(Waits, FiftySecondWaitRunsInstantlyOnTheVirtualClock) {
    qbase::VirtualClock clock;
    const HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    const auto start = steady_clock::now();
    const DWORD ticks = GetTickCount();
    EXPECT_EQ(WaitForSingleObject(event, 50'000), DWORD{WAIT_TIMEOUT});
    EXPECT_GE(GetTickCount() - ticks, 50'000u);
    Sleep(20'000);
    EXPECT_GE(GetTickCount() - ticks, 70'000u);
    EXPECT_LT(steady_clock::now() - start, std::chrono::seconds(1));
    CloseHandle(event);
}

TEST(Waits, AutoResetIsTakenByOneWaitManualStays) {
    qbase::VirtualClock clock;
    const HANDLE autoEvent = CreateEventA(nullptr, FALSE, TRUE, "CYUSB_IN");
    const HANDLE manual = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), DWORD{WAIT_OBJECT_0});
    EXPECT_EQ(WaitForSingleObject(autoEvent, 0), DWORD{WAIT_TIMEOUT});
    ASSERT_TRUE(SetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, INFINITE), DWORD{WAIT_OBJECT_0});
    EXPECT_EQ(WaitForSingleObject(manual, 0), DWORD{WAIT_OBJECT_0});
    ASSERT_TRUE(ResetEvent(manual));
    EXPECT_EQ(WaitForSingleObject(manual, 10), DWORD{WAIT_TIMEOUT});
    CloseHandle(autoEvent);
    CloseHandle(manual);
}

TEST(Waits, MultipleObjectsAnyAndAll) {
    qbase::VirtualClock clock;
    HANDLE events[3];
    for (HANDLE& e : events) e = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetEvent(events[2]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 100), DWORD{WAIT_OBJECT_0 + 1});  // the lowest index wins
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 100), DWORD{WAIT_OBJECT_0 + 2});
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 100), DWORD{WAIT_TIMEOUT});
    SetEvent(events[0]);
    SetEvent(events[1]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 100), DWORD{WAIT_TIMEOUT});
    EXPECT_EQ(WaitForSingleObject(events[0], 0), DWORD{WAIT_OBJECT_0});  // a failed wait-all took nothing
    SetEvent(events[0]);
    SetEvent(events[2]);
    EXPECT_EQ(WaitForMultipleObjects(3, events, TRUE, 100), DWORD{WAIT_OBJECT_0});
    EXPECT_EQ(WaitForMultipleObjects(3, events, FALSE, 0), DWORD{WAIT_TIMEOUT});
    for (HANDLE e : events) CloseHandle(e);
}

TEST(Waits, BadHandlesFail) {
    const HANDLE closed = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    CloseHandle(closed);
    EXPECT_EQ(WaitForSingleObject(closed, 0), DWORD{WAIT_FAILED});
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_HANDLE});
    EXPECT_FALSE(SetEvent(closed));
    EXPECT_EQ(WaitForMultipleObjects(0, nullptr, FALSE, 0), DWORD{WAIT_FAILED});
    EXPECT_EQ(GetLastError(), DWORD{ERROR_INVALID_PARAMETER});
}

}  // namespace

namespace {

// At the process's end the handles still open close, but an event stays valid for the threads that
// still wait on it: on the platform those threads have ended before any handle closes.
TEST(ProcessEnd, AThreadStillWaitingAtExitKeepsItsEvent) {
    EXPECT_EXIT(
        {
            std::atexit([] { std::this_thread::sleep_for(std::chrono::milliseconds(100)); });  // runs after the close
            const HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
            std::thread([event] {
                for (;;) {
                    if (WaitForSingleObject(event, 1) == WAIT_FAILED) std::_Exit(6);
                }
            }).detach();
            std::exit(0);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
