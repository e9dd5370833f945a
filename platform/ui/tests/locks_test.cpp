// Recursive critical sections and the debug lock-order check.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "ui/afxwin.h"

namespace {

class LockOrder : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = qui::SetLockOrderHandler([this](const std::string& report) { reports.push_back(report); });
        for (auto* cs : {&engine, &dialog, &format}) InitializeCriticalSection(cs);
        qui::SetCriticalSectionRank(&engine, 0, "csEngine");
        qui::SetCriticalSectionRank(&dialog, 1, "csVariableDialog");
        qui::SetCriticalSectionRank(&format, 1, "csVariableFormat");
    }
    void TearDown() override {
        for (auto* cs : {&engine, &dialog, &format}) DeleteCriticalSection(cs);
        qui::SetLockOrderHandler(std::move(previous_));
    }
    CRITICAL_SECTION engine, dialog, format;
    std::vector<std::string> reports;
    qui::LockOrderHandler previous_;
};

TEST_F(LockOrder, RecursiveEntryCountsOnce) {
    EnterCriticalSection(&engine);
    EnterCriticalSection(&engine);
    EXPECT_EQ(qui::HeldCriticalSectionCount(), 1);
    LeaveCriticalSection(&engine);
    EXPECT_EQ(qui::HeldCriticalSectionCount(), 1);
    LeaveCriticalSection(&engine);
    EXPECT_EQ(qui::HeldCriticalSectionCount(), 0);
    // Leaving a section not held changes nothing.
    LeaveCriticalSection(&engine);
    EXPECT_EQ(qui::HeldCriticalSectionCount(), 0);
    EXPECT_TRUE(reports.empty());
}

TEST_F(LockOrder, OrderRules) {
    if (!qui::LockOrderChecked()) GTEST_SKIP() << "release build: the order is not checked";
    // Sequences over sections ranked as the designer ranks them: 0 is csEngine, 1 the others.
    // Each case gets fresh sections, so that no two cases take the same pair in both orders.
    struct Case {
        std::vector<int> ranks;     // the sections, by rank
        std::vector<int> sequence;  // indices into ranks, in the order entered
        bool violation;
    };
    const std::vector<Case> cases = {
        {{0, 1}, {0, 1}, false},        // csEngine first
        {{1, 1}, {0, 1}, false},        // same rank, any order
        {{1, 1}, {1, 0}, false},
        {{0, 1}, {0, 0, 1}, false},     // re-entry
        {{0, 1}, {1, 0}, true},         // csEngine after another section
        {{0, 1}, {0, 1, 0}, false},     // re-entering a held csEngine is allowed
    };
    for (const Case& c : cases) {
        reports.clear();
        std::vector<CRITICAL_SECTION> sections(c.ranks.size());
        for (std::size_t i = 0; i < sections.size(); ++i) {
            InitializeCriticalSection(&sections[i]);
            qui::SetCriticalSectionRank(&sections[i], c.ranks[i], c.ranks[i] == 0 ? "csEngine" : "csOther");
        }
        for (int i : c.sequence) EnterCriticalSection(&sections[static_cast<std::size_t>(i)]);
        for (auto it = c.sequence.rbegin(); it != c.sequence.rend(); ++it) LeaveCriticalSection(&sections[static_cast<std::size_t>(*it)]);
        EXPECT_EQ(!reports.empty(), c.violation) << c.sequence.size();
        EXPECT_EQ(qui::HeldCriticalSectionCount(), 0);
        for (auto& cs : sections) DeleteCriticalSection(&cs);
    }
}

class Echo : public CWnd {
public:
    LRESULT WindowProc(UINT, WPARAM w, LPARAM) override { return static_cast<LRESULT>(w); }
};

TEST_F(LockOrder, ACrossThreadSendWhileHoldingASectionIsReported) {
    if (!qui::LockOrderChecked()) GTEST_SKIP() << "release build: the rule is not checked";
    std::promise<HWND> made;
    std::atomic<bool> stop{false};
    std::thread owner([&] {
        Echo window;
        window.Create(nullptr, "", WS_CHILD, RECT{0, 0, 1, 1}, nullptr, 0);
        made.set_value(window.m_hWnd);
        while (!stop) WaitMessageTimeout(5);
    });
    const HWND hwnd = made.get_future().get();
    EXPECT_EQ(SendMessage(hwnd, WM_USER, 5, 0), 5);
    EXPECT_TRUE(reports.empty());
    EnterCriticalSection(&dialog);
    EXPECT_EQ(SendMessage(hwnd, WM_USER, 6, 0), 6);  // reported, still carried out
    EXPECT_TRUE(PostMessage(hwnd, WM_USER, 7, 0));   // posting is allowed
    LeaveCriticalSection(&dialog);
    EXPECT_EQ(reports.size(), 1u);

    // A send to a window of the same thread is a call, not a send between threads.
    Echo local;
    local.Create(nullptr, "", WS_CHILD, RECT{0, 0, 1, 1}, nullptr, 0);
    EnterCriticalSection(&engine);
    EXPECT_EQ(local.SendMessage(WM_USER, 8), 8);
    LeaveCriticalSection(&engine);
    EXPECT_EQ(reports.size(), 1u);
    stop = true;
    owner.join();
}

TEST_F(LockOrder, SectionsExcludeOtherThreads) {
    int counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 10000; ++i) {
                EnterCriticalSection(&engine);
                EnterCriticalSection(&dialog);
                ++counter;
                LeaveCriticalSection(&dialog);
                LeaveCriticalSection(&engine);
            }
        });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(counter, 40000);
    EXPECT_TRUE(reports.empty());
}

}  // namespace
