// Several threads on the PCI board's one handle: the board lock runs one transaction at a time, and
// power transitions in between hold and wake the requests without losing one.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include <variant>

#include "fdb_ioctl.h"
#include "kernel/pnp.h"
#include "sim/machine/machine.h"
#include "win32/windows.h"

namespace {

bool pageRoundTrip(HANDLE board, std::uint8_t page, std::uint8_t mark) {
    std::array<std::uint8_t, fdb::kWritePhyInput> in{};
    in[0] = page;
    in[2] = mark;
    DWORD returned = 0;
    if (!DeviceIoControl(board, fdb::IOCTL_WRITE_PHY, in.data(), in.size(), nullptr, 0, &returned, nullptr))
        return false;
    std::array<std::uint8_t, fdb::kPageBytes> back{};
    back[0] = page;
    return DeviceIoControl(board, fdb::IOCTL_READ_PHY, back.data(), 2, back.data(), back.size(), &returned,
                           nullptr) &&
           back[0] == mark;
}

TEST(AmbrixConcurrent, ThreadsOnOneHandleKeepTheProtocol) {
    sim::Machine& machine = sim::bootMachine(sim::defaultMachine());
    const HANDLE board =
        CreateFileA("\\\\.\\AMBRIX1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(board, INVALID_HANDLE_VALUE);
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (std::uint8_t t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 10; ++i) {
                std::array<std::uint8_t, fdb::kWritePhyInput> page{};
                page[0] = t;
                page[2] = static_cast<std::uint8_t>(i);
                DWORD returned = 0;
                if (!DeviceIoControl(board, fdb::IOCTL_WRITE_PHY, page.data(), page.size(), nullptr, 0, &returned,
                                     nullptr))
                    ++failures;
                std::array<std::uint8_t, fdb::kPageBytes> back{};
                back[0] = t;
                if (!DeviceIoControl(board, fdb::IOCTL_READ_PHY, back.data(), 2, back.data(), back.size(), &returned,
                                     nullptr) ||
                    back[0] != i)
                    ++failures;
            }
        });
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(machine.pciBoard(0).controller().checker().violations().empty());
    CloseHandle(board);
    sim::shutdownMachine();
}

// Requests that arrive while the board powers down idle, or while the system sleeps, wait for D0
// (a wake, or the resume) and then succeed.
TEST(AmbrixConcurrent, RequestsAcrossPowerTransitionsAllSucceed) {
    sim::Machine& machine = sim::bootMachine(sim::defaultMachine());
    const HANDLE board =
        CreateFileA("\\\\.\\AMBRIX1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(board, INVALID_HANDLE_VALUE);
    std::size_t first = 0;
    while (!std::holds_alternative<sim::PciBoardConfig>(machine.description().boards.at(first))) ++first;
    const qk::pnp::DeviceNodeId node = machine.enumerations().at(first).node;

    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (std::uint8_t t = 0; t < 3; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 15; ++i)
                if (!pageRoundTrip(board, t, static_cast<std::uint8_t>(i))) ++failures;
        });
    }
    for (int cycle = 0; cycle < 6; ++cycle) {
        EXPECT_EQ(qk::pnp::setDevicePower(node, qk::pnp::DevicePowerState::D3), 0);
        EXPECT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Sleeping3), 0);
        EXPECT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Working), 0);
    }
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_TRUE(pageRoundTrip(board, 9, 9));
    EXPECT_TRUE(machine.pciBoard(0).controller().checker().violations().empty());
    CloseHandle(board);
    sim::shutdownMachine();
}

}  // namespace
