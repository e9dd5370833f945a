// The board level: the PCI bridge with its EEPROM at both address widths, configuration space and
// reset; the PC104 port map with its reset edge, LEDs and serial windows; the FIELDUAL.
#include <gtest/gtest.h>

#include "sim/boards/pc104_board.h"
#include "sim/boards/pci_board.h"

namespace sim {
namespace {

// Bit-bangs the bridge's control register as a driver does.
class Microwire {
public:
    Microwire(qk::hw::MemoryRange& bridge, unsigned addressBits) : bridge_(bridge), bits_(addressBits) {}

    std::vector<std::uint16_t> read(std::uint32_t address, std::uint32_t count) {
        select(true);
        send({1, 1, 0});
        sendAddress(address);
        std::vector<std::uint16_t> words;
        if (dataOut()) {
            select(false);
            return words;
        }
        for (std::uint32_t w = 0; w < count; ++w) {
            std::uint16_t word = 0;
            for (int b = 0; b < 16; ++b) {
                pulse();
                word = static_cast<std::uint16_t>((word << 1) | (dataOut() ? 1 : 0));
            }
            words.push_back(word);
        }
        select(false);
        return words;
    }

    void enableWrites() {
        select(true);
        send({1, 0, 0, 1, 1, 0, 0, 0, 0});
        select(false);
    }

    int write(std::uint32_t address, std::uint16_t word) {
        select(true);
        send({1, 0, 1});
        sendAddress(address);
        for (int b = 15; b >= 0; --b) send({static_cast<int>((word >> b) & 1)});
        select(false);
        select(true);
        int polls = 0;
        while (!dataOut() && polls < 100) ++polls;
        select(false);
        return polls;
    }

private:
    void set(std::uint32_t bit, bool on) {
        std::uint32_t v = bridge_.read32(bridge::kControl);
        bridge_.write32(bridge::kControl, on ? (v | bit) : (v & ~bit));
    }
    void select(bool on) { set(bridge::kChipSelect, on); }
    void pulse() {
        set(bridge::kClock, false);
        set(bridge::kClock, true);
        set(bridge::kClock, false);
    }
    void send(std::initializer_list<int> bits) {
        for (int bit : bits) {
            set(bridge::kDataIn, bit != 0);
            pulse();
        }
    }
    void sendAddress(std::uint32_t address) {
        for (int b = static_cast<int>(bits_) - 1; b >= 0; --b) send({static_cast<int>((address >> b) & 1)});
    }
    bool dataOut() { return (bridge_.read32(bridge::kControl) & bridge::kDataOut) != 0; }

    qk::hw::MemoryRange& bridge_;
    unsigned bits_;
};

class EepromWidth : public ::testing::TestWithParam<unsigned> {};

TEST_P(EepromWidth, ReadsSerialNumberAndWritesWords) {
    const unsigned bits = GetParam();
    PciBoardConfig config;
    config.eepromAddressBits = bits;
    config.configurationWord = bits == 6 ? kPciWord6BitEeprom : kPciWord8BitEeprom;
    config.serialNumber = 0x12345678;
    config.eepromWords = {0x0102, 0x0304};
    PciBoard board(config);
    Microwire wire(*board.bridgeRange(), bits);

    EXPECT_NE(board.bridgeRange()->read32(bridge::kControl) & bridge::kEepromPresent, 0u);
    EXPECT_EQ(wire.read(0, 2), (std::vector<std::uint16_t>{0x0102, 0x0304}));
    const std::uint32_t serial = bits == 6 ? 62 : 94;
    // The words read high byte first form the serial number lowest byte first.
    EXPECT_EQ(wire.read(serial, 2), (std::vector<std::uint16_t>{0x7856, 0x3412}));
    EXPECT_EQ(board.bridgeRange()->read32(bridge::kConfigurationWord), config.configurationWord);

    wire.write(5, 0xBEEF);  // not enabled: ignored
    EXPECT_EQ(wire.read(5, 1), (std::vector<std::uint16_t>{0xFFFF}));
    wire.enableWrites();
    EXPECT_EQ(wire.write(5, 0xBEEF), static_cast<int>(MicrowireEeprom::kProgrammingSamples));
    EXPECT_EQ(wire.write(6, 0x1234), static_cast<int>(MicrowireEeprom::kProgrammingSamples));
    EXPECT_EQ(wire.read(5, 2), (std::vector<std::uint16_t>{0xBEEF, 0x1234}));

    // A read running past the last word wraps to address 0.
    const std::uint32_t last = (1u << bits) - 1;
    EXPECT_EQ(wire.read(last, 2)[1], 0x0102);
}

INSTANTIATE_TEST_SUITE_P(AddressBits, EepromWidth, ::testing::Values(6u, 8u));

TEST(PciBridge, ReloadTakesTheConfigurationWordFromTheEeprom) {
    PciBoardConfig config;
    PciBoard board(config);
    auto& bridge = *board.bridgeRange();
    Microwire wire(bridge, 8);
    wire.enableWrites();
    wire.write(configurationWordAddress(8) + 1, 0xA606);
    EXPECT_EQ(bridge.read32(bridge::kConfigurationWord), kPciWord8BitEeprom);
    bridge.write32(bridge::kControl, bridge.read32(bridge::kControl) | bridge::kReload);
    EXPECT_EQ(bridge.read32(bridge::kConfigurationWord), 0x0001A606u);
    EXPECT_EQ(bridge.read32(bridge::kControl) & bridge::kReload, 0u);
}

TEST(PciBridge, WithoutEepromReportsAbsentAndAReleasedDataLine) {
    PciBoardConfig config;
    config.eepromAddressBits = 0;
    config.configurationWord = 0x10000;
    PciBoard board(config);
    const std::uint32_t control = board.bridgeRange()->read32(bridge::kControl);
    EXPECT_EQ(control & bridge::kEepromPresent, 0u);
    EXPECT_NE(control & bridge::kDataOut, 0u);
    EXPECT_EQ(board.bridgeRange()->read32(bridge::kConfigurationWord), 0x10000u);
}

TEST(PciBridge, ResetBitResetsTheControllerOnItsRisingEdge) {
    PciBoard board(PciBoardConfig{});
    auto& bridge = *board.bridgeRange();
    EXPECT_NE(bridge.read32(bridge::kInterruptControl) & bridge::kInterruptEnable, 0u);
    bridge.write32(bridge::kControl, bridge::kReset);
    bridge.write32(bridge::kControl, bridge::kReset);
    bridge.write32(bridge::kControl, 0);
    EXPECT_EQ(board.card().resetCount(), 1u);
    EXPECT_EQ(board.bridge().resetPulses(), 1u);
}

TEST(PciBoard, DescribesItsRangesConfigSpaceAndSlot) {
    PciBoardConfig config;
    config.uiNumber = 7;
    config.physicalAddress = 0xE0000000;
    PciBoard board(config);
    const auto d = board.description();
    EXPECT_EQ(d.service, "ambrix");
    ASSERT_EQ(d.memory.size(), 3u);
    EXPECT_EQ(d.memory[0].physicalAddress, 0xE0000000u);
    EXPECT_GE(d.memory[0].length, 0x54u);
    EXPECT_EQ(d.memory[1].physicalAddress, 0xE0001000u);
    EXPECT_EQ(d.memory[1].length, 32u);
    EXPECT_EQ(d.memory[2].length, 16u);
    EXPECT_EQ(d.uiNumber, 7u);
    EXPECT_EQ(d.readConfigSpace(0x2C, 4), (std::vector<std::uint8_t>{0xC0, 0x51, 0x02, 0x00}));
    EXPECT_TRUE(d.readConfigSpace(0x100, 4).empty());
}

TEST(PciBoard, ControllerAndMediumSitAtFourByteStrides) {
    PciBoard board(PciBoardConfig{});
    auto& fip = *board.controllerRange();
    fip.write8(4 * 2, 0);
    fip.write8(4 * 3, 1);
    fip.write8(0, 0x40);
    EXPECT_EQ(fip.read8(0), 0x98);
    EXPECT_EQ(fip.read32(4 * 3), 128u);
    EXPECT_EQ(fip.read8(1), 0);
    fip.write8(0, 0);
    EXPECT_EQ(board.mediumRange()->read8(0), medium::kChannel1 | medium::kChannel2);
    EXPECT_TRUE(board.controller().checker().violations().empty());
}

// ---- FIELDUAL

struct MediumCase {
    bool dual;
    bool write;
    std::uint32_t reg;
    std::uint8_t errorsBefore;
    std::uint8_t expected;
};

class FielddualOps : public ::testing::TestWithParam<MediumCase> {};

TEST_P(FielddualOps, ChangeTheStatusByte) {
    const MediumCase& c = GetParam();
    AccessTrace trace;
    Fielddual f(c.dual, trace);
    f.raiseErrors(c.errorsBefore);
    if (c.write)
        f.write(c.reg, 255);
    else
        f.read(c.reg);
    EXPECT_EQ(f.read(0), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Operations, FielddualOps,
    ::testing::Values(MediumCase{true, false, 0, 0, 0x03}, MediumCase{false, false, 0, 0, 0x01},
                      MediumCase{true, false, 1, 0x3C, 0x33},   // clear transmission errors
                      MediumCase{true, false, 2, 0x3C, 0x2B},   // reset channel 1
                      MediumCase{true, false, 3, 0x3C, 0x17},   // reset channel 2
                      MediumCase{true, true, 1, 0, 0x01},       // channel 1 alone
                      MediumCase{true, true, 2, 0, 0x02},       // channel 2 alone
                      MediumCase{true, true, 3, 0, 0x03},       // both
                      MediumCase{false, true, 2, 0, 0x00},      // no channel 2 on a single medium
                      MediumCase{false, false, 0, 0x3C, 0x15}));

TEST(Fielddual, WritingRegisterZeroSelectsLoopback) {
    AccessTrace trace;
    Fielddual f(true, trace);
    f.write(0, 1);
    EXPECT_FALSE(f.loopback());
    f.write(0, 255);
    EXPECT_TRUE(f.loopback());
    EXPECT_EQ(f.status(), 0x03);
}

// ---- PC104

std::uint32_t readUlong(qk::hw::PortRange& ports, std::uint32_t p) {
    ports.read8(p);
    const std::uint32_t b1 = ports.read8(p + 1), b2 = ports.read8(p + 2), b3 = ports.read8(p + 3),
                        b4 = ports.read8(p + 3);
    return (b1 << 24) | (b2 << 16) | (b3 << 8) | b4;
}

TEST(Pc104Board, SerialAndConfigurationWindowsReadAsTheDriverExpects) {
    Pc104BoardConfig config;
    config.serialNumber = 0xCAFE1234;
    Pc104Board board(config);
    auto& ports = *board.ports();
    EXPECT_EQ(ports.length(), 32u);
    EXPECT_EQ(readUlong(ports, 16), 0xCAFE1234u);
    EXPECT_EQ(readUlong(ports, 20), kPc104DualMediumWord);
    EXPECT_EQ(readUlong(ports, 16), 0xCAFE1234u);
    EXPECT_EQ(ports.read8(19), 0xFF);  // past the fourth byte
    EXPECT_EQ(ports.read8(12), 0xFF);
    EXPECT_EQ(ports.read8(31), 0xFF);
}

TEST(Pc104Board, ResetBitResetsOnEveryWriteThatSetsItAndReadsBackClear) {
    Pc104Board board(Pc104BoardConfig{});
    auto& ports = *board.ports();
    ports.write8(24, 0x80);
    EXPECT_EQ(board.card().resetCount(), 0u);
    ports.write8(24, ports.read8(24) | 1);
    EXPECT_EQ(board.card().resetCount(), 1u);
    EXPECT_EQ(ports.read8(24), 0x80);
    ports.write8(24, ports.read8(24) | 1);
    EXPECT_EQ(board.card().resetCount(), 2u);
    EXPECT_EQ(board.resetPulses(), 2u);
}

TEST(Pc104Board, LedsAreBitsFourToSix) {
    Pc104Board board(Pc104BoardConfig{});
    auto& ports = *board.ports();
    ports.write8(24, 0x80 | (0x0F << 4 & 0x70));
    EXPECT_EQ(board.leds(), 7);
    EXPECT_EQ(ports.read8(24), 0xF0);
    ports.write8(24, 0x20);
    EXPECT_EQ(board.leds(), 2);
}

TEST(Pc104Board, ControllerAndMediumPorts) {
    Pc104BoardConfig config;
    config.dualMedium = false;
    config.configurationWord = kPc104SingleMediumWord;
    Pc104Board board(config);
    auto& ports = *board.ports();
    ports.write8(0, cmd::kBaReport);
    EXPECT_EQ(ports.read8(0), 0x90);
    EXPECT_EQ(ports.read8(2), ba::kStopped);
    ports.write8(0, 0);
    EXPECT_EQ(ports.read8(8), medium::kChannel1);
    const auto d = board.description();
    EXPECT_EQ(d.service, "osprix");
    ASSERT_EQ(d.ports.size(), 1u);
    EXPECT_EQ(d.ports[0].firstPort, 0x300u);
    EXPECT_EQ(d.ports[0].length, 32u);
    EXPECT_TRUE(d.memory.empty());
}

}  // namespace
}  // namespace sim
