// The boards as the drivers reach them: attached to the kernel's hardware seam and accessed
// through mapped registers and port accessors.
#include <gtest/gtest.h>

#include "kernel/wdm.h"
#include "sim/boards/pc104_board.h"
#include "sim/boards/pci_board.h"

namespace sim {
namespace {

PVOID map(std::uint64_t physical, SIZE_T length) {
    PHYSICAL_ADDRESS address{};
    address.QuadPart = static_cast<LONGLONG>(physical);
    return MmMapIoSpace(address, length, MmNonCached);
}

TEST(Attached, PciRangesAnswerThroughMappedRegisters) {
    PciBoard board(PciBoardConfig{});
    board.attach();
    const auto d = board.description();
    auto* bridge = static_cast<volatile ULONG*>(map(d.memory[0].physicalAddress, d.memory[0].length));
    auto* fip = static_cast<volatile UCHAR*>(map(d.memory[1].physicalAddress, d.memory[1].length));
    ASSERT_NE(bridge, nullptr);
    ASSERT_NE(fip, nullptr);
    EXPECT_EQ(READ_REGISTER_ULONG(bridge + bridge::kConfigurationWord / 4), kPciWord8BitEeprom);
    WRITE_REGISTER_UCHAR(fip + 0, cmd::kBaReport);
    EXPECT_EQ(READ_REGISTER_UCHAR(fip + 0), 0x90);
    EXPECT_EQ(READ_REGISTER_UCHAR(fip + 4 * 2), ba::kStopped);
    WRITE_REGISTER_UCHAR(fip + 0, 0);
    MmUnmapIoSpace(const_cast<ULONG*>(bridge), d.memory[0].length);
    MmUnmapIoSpace(const_cast<UCHAR*>(fip), d.memory[1].length);

    board.detach();
    EXPECT_EQ(map(d.memory[0].physicalAddress, d.memory[0].length), nullptr);
    EXPECT_TRUE(board.controller().checker().violations().empty());
}

TEST(Attached, Pc104PortsAnswerThroughPortAccessors) {
    Pc104BoardConfig config;
    config.basePort = 0x240;
    Pc104Board board(config);
    board.attach();
    auto* base = reinterpret_cast<PUCHAR>(std::uintptr_t{0x240});
    WRITE_PORT_UCHAR(base + pc104::kControl, 0x50);
    EXPECT_EQ(READ_PORT_UCHAR(base + pc104::kControl), 0x50);
    EXPECT_EQ(board.leds(), 5);
    board.detach();
}

}  // namespace
}  // namespace sim
