// The default machine booted for a test, with its first PCI board open through the win32 calls.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <variant>

#include "fdb_ioctl.h"
#include "kernel/pnp.h"
#include "sim/machine/machine.h"
#include "win32/windows.h"

namespace ambrix::testing {

inline HANDLE openBoard() {
    return CreateFileA("\\\\.\\AMBRIX1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}

// A page write and read-back: FULLFIP2 transactions that need the board powered.
inline bool pageRoundTrip(HANDLE board, std::uint8_t page, std::uint8_t mark) {
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
           returned == fdb::kPageBytes && back[0] == mark;
}

class PciBoardTest : public ::testing::Test {
protected:
    void SetUp() override {
        machine_ = &sim::bootMachine(sim::defaultMachine());
        board_ = openBoard();
        ASSERT_NE(board_, INVALID_HANDLE_VALUE);
    }
    void TearDown() override {
        if (board_ != INVALID_HANDLE_VALUE) CloseHandle(board_);
        sim::shutdownMachine();
    }

    // The PnP node of the machine's first PCI board.
    qk::pnp::DeviceNodeId node() const {
        const auto& boards = machine_->description().boards;
        std::size_t first = 0;
        while (!std::holds_alternative<sim::PciBoardConfig>(boards.at(first))) ++first;
        return machine_->enumerations().at(first).node;
    }
    bool pageRoundTrip(std::uint8_t page, std::uint8_t mark) { return testing::pageRoundTrip(board_, page, mark); }

    sim::Machine* machine_ = nullptr;
    HANDLE board_ = INVALID_HANDLE_VALUE;
};

}  // namespace ambrix::testing
