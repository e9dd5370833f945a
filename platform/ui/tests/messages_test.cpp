// The message rules between threads: post order, direct and cross-thread sends, sends served while
// waiting, destroyed and unknown windows, and a thread's end.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <future>
#include <thread>
#include <vector>

#include "ui/afxwin.h"

namespace {

using namespace std::chrono_literals;

// A window whose messages call a function.
class Target : public CWnd {
public:
    std::function<LRESULT(UINT, WPARAM, LPARAM)> handler;
    LRESULT WindowProc(UINT message, WPARAM w, LPARAM l) override {
        return handler ? handler(message, w, l) : CWnd::WindowProc(message, w, l);
    }
    bool Make() { return Create(nullptr, "", WS_CHILD | WS_DISABLED, RECT{0, 0, 100, 100}, nullptr, 0) != FALSE; }
};

// A thread that owns a window and serves it until told to stop.
class Worker {
public:
    explicit Worker(std::function<LRESULT(UINT, WPARAM, LPARAM)> handler) {
        std::promise<HWND> made;
        auto ready = made.get_future();
        thread_ = std::thread([this, handler, &made] {
            Target window;
            window.handler = handler;
            window.Make();
            made.set_value(window.m_hWnd);
            MSG msg;
            while (!stop_) {
                while (PeekMessage(&msg, window.m_hWnd, 0, 0, PM_REMOVE)) DispatchMessage(&msg);
                WaitMessageTimeout(5);
            }
            window.DestroyWindow();
        });
        hwnd = ready.get();
    }
    ~Worker() {
        stop_ = true;
        thread_.join();
    }
    HWND hwnd;

private:
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

TEST(Messages, PostsArriveInOrderAndPostNeverWaits) {
    std::vector<WPARAM> seen;
    std::mutex mutex;
    std::promise<void> done;
    Worker worker([&](UINT message, WPARAM w, LPARAM) {
        if (message == WM_USER) {
            std::lock_guard lock(mutex);
            seen.push_back(w);
            if (w == 999) done.set_value();
        }
        return LRESULT{0};
    });
    for (WPARAM i = 0; i < 1000; ++i) ASSERT_TRUE(PostMessage(worker.hwnd, WM_USER, i, 0));
    ASSERT_EQ(done.get_future().wait_for(10s), std::future_status::ready);
    std::lock_guard lock(mutex);
    ASSERT_EQ(seen.size(), 1000u);
    for (WPARAM i = 0; i < 1000; ++i) EXPECT_EQ(seen[i], i);
}

TEST(Messages, SendOnTheSameThreadIsADirectCall) {
    Target window;
    window.handler = [](UINT message, WPARAM w, LPARAM l) { return message == WM_USER ? static_cast<LRESULT>(w + l) : 0; };
    ASSERT_TRUE(window.Make());
    EXPECT_EQ(SendMessage(window.m_hWnd, WM_USER, 40, 2), 42);
    // Nothing was queued for it.
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, window.m_hWnd, 0, 0, PM_REMOVE));
}

TEST(Messages, CrossThreadSendWaitsForTheResult) {
    const DWORD caller = GetCurrentThreadId();
    std::atomic<DWORD> handledOn{0};
    Worker worker([&](UINT message, WPARAM w, LPARAM) {
        if (message != WM_USER) return LRESULT{0};
        handledOn = GetCurrentThreadId();
        return static_cast<LRESULT>(w * 2);
    });
    EXPECT_EQ(SendMessage(worker.hwnd, WM_USER, 21, 0), 42);
    EXPECT_NE(handledOn.load(), caller);
    EXPECT_EQ(handledOn.load(), GetWindowThreadProcessId(worker.hwnd, nullptr));
}

// A sender whose send takes half a second spins only briefly, then sleeps.
TEST(Messages, ASenderWaitingLongSleeps) {
    Worker worker([](UINT message, WPARAM w, LPARAM) {
        if (message == WM_USER) std::this_thread::sleep_for(500ms);
        return static_cast<LRESULT>(w);
    });
    const std::clock_t before = std::clock();
    EXPECT_EQ(SendMessage(worker.hwnd, WM_USER, 7, 0), 7);
    EXPECT_LT(static_cast<double>(std::clock() - before) / CLOCKS_PER_SEC, 0.1) << "processor time of the process";
}

TEST(Messages, AWaitingSenderServesSendsToItsOwnWindows) {
    // Two threads: the worker answers our send by sending back to our window first.
    Target mine;
    mine.handler = [](UINT message, WPARAM, LPARAM) { return message == WM_USER + 1 ? LRESULT{7} : LRESULT{0}; };
    ASSERT_TRUE(mine.Make());
    const HWND back = mine.m_hWnd;
    Worker worker([back](UINT message, WPARAM, LPARAM) {
        if (message != WM_USER) return LRESULT{0};
        return SendMessage(back, WM_USER + 1, 0, 0) * 6;
    });
    EXPECT_EQ(SendMessage(worker.hwnd, WM_USER, 0, 0), 42);
}

TEST(Messages, ThreeThreadsSendAroundACircle) {
    // main -> A -> B -> main: each waiting sender serves the send that comes back to it.
    Target mine;
    mine.handler = [](UINT message, WPARAM w, LPARAM) { return message == WM_USER ? static_cast<LRESULT>(w + 1) : LRESULT{0}; };
    ASSERT_TRUE(mine.Make());
    const HWND main = mine.m_hWnd;
    Worker b([main](UINT message, WPARAM w, LPARAM) {
        return message == WM_USER ? SendMessage(main, WM_USER, w + 1, 0) + 1 : LRESULT{0};
    });
    const HWND bWindow = b.hwnd;
    Worker a([bWindow](UINT message, WPARAM w, LPARAM) {
        return message == WM_USER ? SendMessage(bWindow, WM_USER, w + 1, 0) + 1 : LRESULT{0};
    });
    // 0 -> a(1) -> b(2) -> main returns 3 -> b 4 -> a 5
    EXPECT_EQ(SendMessage(a.hwnd, WM_USER, 0, 0), 5);
}

TEST(Messages, DestroyedAndUnknownWindowsGiveZero) {
    Target window;
    ASSERT_TRUE(window.Make());
    const HWND old = window.m_hWnd;
    ASSERT_TRUE(PostMessage(old, WM_USER, 1, 0));
    ASSERT_TRUE(window.DestroyWindow());
    EXPECT_FALSE(IsWindow(old));
    EXPECT_FALSE(PostMessage(old, WM_USER, 2, 0));
    EXPECT_EQ(SendMessage(old, WM_USER, 3, 0), 0);
    EXPECT_EQ(GetWindowThreadProcessId(old, nullptr), 0u);
    // Its queued post went with it.
    MSG msg;
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));

    // A new window may take the same slot: the old handle still names nothing.
    Target next;
    ASSERT_TRUE(next.Make());
    EXPECT_NE(next.m_hWnd, old);
    EXPECT_FALSE(IsWindow(old));
    EXPECT_EQ(CWnd::FromHandle(old), nullptr);

    for (HWND bogus : {static_cast<HWND>(nullptr), reinterpret_cast<HWND>(0x12345678), reinterpret_cast<HWND>(~std::uintptr_t{0})}) {
        EXPECT_FALSE(IsWindow(bogus));
        EXPECT_FALSE(PostMessage(bogus, WM_USER, 0, 0));
        EXPECT_EQ(SendMessage(bogus, WM_USER, 0, 0), 0);
        EXPECT_EQ(DispatchMessage(nullptr), 0);
    }
}

TEST(Messages, DestroyingAWindowCompletesItsPendingSendsWithZero) {
    // The owner does not serve its window; a sender waits; the owner destroys the window.
    std::promise<HWND> made;
    std::promise<void> destroy;
    auto destroyNow = destroy.get_future();
    std::thread owner([&] {
        Target window;
        window.handler = [](UINT, WPARAM, LPARAM) { return LRESULT{99}; };
        window.Make();
        made.set_value(window.m_hWnd);
        destroyNow.wait();
        window.DestroyWindow();
    });
    const HWND hwnd = made.get_future().get();
    auto result = std::async(std::launch::async, [hwnd] { return SendMessage(hwnd, WM_USER, 0, 0); });
    EXPECT_EQ(result.wait_for(100ms), std::future_status::timeout);  // it waits
    destroy.set_value();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    owner.join();
}

TEST(Messages, AThreadThatEndsTakesItsWindowsAndCompletesSends) {
    std::promise<HWND> made;
    std::promise<void> end;
    auto endNow = end.get_future();
    auto* window = new Target;  // left alive on purpose: the thread's end kills the handle
    std::thread owner([&] {
        window->Make();
        made.set_value(window->m_hWnd);
        endNow.wait();
    });
    const HWND hwnd = made.get_future().get();
    auto result = std::async(std::launch::async, [hwnd] { return SendMessage(hwnd, WM_USER, 0, 0); });
    std::this_thread::sleep_for(50ms);
    end.set_value();
    owner.join();
    ASSERT_EQ(result.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
    EXPECT_FALSE(IsWindow(hwnd));
    window->m_hWnd = nullptr;
    delete window;
}

TEST(Messages, PeekForOneWindowLeavesTheOthersQueued) {
    Target a, b;
    ASSERT_TRUE(a.Make());
    ASSERT_TRUE(b.Make());
    PostMessage(a.m_hWnd, WM_USER, 1, 0);
    PostMessage(b.m_hWnd, WM_USER, 2, 0);
    PostMessage(a.m_hWnd, WM_USER + 5, 3, 0);
    MSG msg;
    ASSERT_TRUE(PeekMessage(&msg, b.m_hWnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 2u);
    EXPECT_FALSE(PeekMessage(&msg, b.m_hWnd, 0, 0, PM_REMOVE));
    ASSERT_TRUE(PeekMessage(&msg, a.m_hWnd, WM_USER + 5, WM_USER + 5, PM_NOREMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    ASSERT_TRUE(PeekMessage(&msg, a.m_hWnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 1u);
    ASSERT_TRUE(PeekMessage(&msg, a.m_hWnd, 0, 0, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
    EXPECT_FALSE(PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE));
}

TEST(Messages, ManyPostersOneReceiverKeepEachPostersOrder) {
    constexpr int kPosters = 4, kEach = 2000;
    std::vector<std::vector<LPARAM>> byPoster(kPosters);
    std::atomic<int> total{0};
    Worker worker([&](UINT message, WPARAM w, LPARAM l) {
        if (message == WM_USER) {
            byPoster[w].push_back(l);
            ++total;
        }
        return LRESULT{0};
    });
    std::vector<std::thread> posters;
    for (int p = 0; p < kPosters; ++p) {
        posters.emplace_back([&, p] {
            for (int i = 0; i < kEach; ++i) PostMessage(worker.hwnd, WM_USER, static_cast<WPARAM>(p), i);
        });
    }
    for (auto& t : posters) t.join();
    for (int i = 0; i < 2000 && total < kPosters * kEach; ++i) std::this_thread::sleep_for(5ms);
    ASSERT_EQ(total.load(), kPosters * kEach);
    // Read after the worker has seen everything: its writes happened before total's last increment.
    for (const auto& seen : byPoster) {
        ASSERT_EQ(seen.size(), static_cast<std::size_t>(kEach));
        for (int i = 0; i < kEach; ++i) EXPECT_EQ(seen[static_cast<std::size_t>(i)], i);
    }
}

}  // namespace
