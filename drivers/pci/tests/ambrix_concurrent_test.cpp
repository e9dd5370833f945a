// Several threads on the PCI board's one handle: the board lock runs one transaction at a time, and
// power transitions in between hold and wake the requests without losing one.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "pci_board_fixture.h"

namespace {

class AmbrixConcurrent : public ambrix::testing::PciBoardTest {};

TEST_F(AmbrixConcurrent, ThreadsOnOneHandleKeepTheProtocol) {
    const HANDLE board = board_;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (std::uint8_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i)
                if (!ambrix::testing::pageRoundTrip(board, t, static_cast<std::uint8_t>(i))) ++failures;
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(machine_->pciBoard(0).controller().checker().violations().empty());
}

// Requests that arrive while the board powers down idle, or while the system sleeps, wait for D0
// (a wake, or the resume) and then succeed.
TEST_F(AmbrixConcurrent, RequestsAcrossPowerTransitionsAllSucceed) {
    const HANDLE board = board_;
    const qk::pnp::DeviceNodeId node = this->node();

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (std::uint8_t t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 15; ++i)
                if (!ambrix::testing::pageRoundTrip(board, t, static_cast<std::uint8_t>(i))) ++failures;
        });
    }
    for (int cycle = 0; cycle < 6; ++cycle) {
        EXPECT_EQ(qk::pnp::setDevicePower(node, qk::pnp::DevicePowerState::D3), 0);
        EXPECT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Sleeping3), 0);
        EXPECT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Working), 0);
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(pageRoundTrip(9, 9));
    EXPECT_TRUE(machine_->pciBoard(0).controller().checker().violations().empty());
}

}  // namespace
