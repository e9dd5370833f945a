// Several threads on the PCI board's one handle: the board lock runs one transaction at a time.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <thread>
#include <vector>

#include "fdb_ioctl.h"
#include "sim/machine/machine.h"
#include "win32/windows.h"

namespace {

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

}  // namespace
