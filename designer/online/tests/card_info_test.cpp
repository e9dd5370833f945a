// The card information record and the board variant, read from boards of the simulated machine.
#include <gtest/gtest.h>

#include <filesystem>

#include "base/machine_root.h"
#include "machine_fixture.h"
#include "online/card_info.h"
#include "win32/windows.h"

namespace plandrel::testing {
namespace {

struct WordCase {
    bool pc104;
    std::uint32_t word;
    const char* version;
    const char* speed;
    int variant;  // as GetBoardVariant gives it for this board
};

class CardWords : public OnMachine, public ::testing::WithParamInterface<WordCase> {};

TEST_P(CardWords, DecodeVersionAndSpeedAndGiveTheVariant) {
    const WordCase& c = GetParam();
    boot(machineOf({c.pc104 ? sim::BoardConfig{pc104Board(c.word, 0x2A0, 0xBEEF01)}
                            : sim::BoardConfig{pciBoard(c.word, 3, 0xF0000000, 0xBEEF01)}}));
    const std::uint32_t type = c.pc104 ? kBoardTypePc104 : kBoardTypePci;
    const CardInfo info = BuildCardInfo(type, 1);
    EXPECT_EQ(info.valid, 1);
    EXPECT_EQ(info.index, "1");
    EXPECT_EQ(info.version, c.version);
    EXPECT_EQ(info.speed, c.speed);
    EXPECT_EQ(info.serial, "0xBEEF01");
    EXPECT_EQ(info.has_pci_slot, c.pc104 ? 0 : 1);
    EXPECT_EQ(info.pci_slot, c.pc104 ? "" : "3");
    EXPECT_EQ(info.has_pc104_address, c.pc104 ? 1 : 0);
    EXPECT_EQ(info.pc104_address, c.pc104 ? "0x2A0" : "");
    EXPECT_EQ(GetBoardVariant({1, type}), c.variant);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CardWords,
    ::testing::Values(
        // The default boards: dual-medium PC104 and PCI at v 5.3, 1 Mbit/s; single-medium PC104 at v 5.2b.
        WordCase{true, sim::kPc104DualMediumWord, "v 5.3", "1 Mbps", 1},
        WordCase{true, sim::kPc104SingleMediumWord, "v 5.2b", "1 Mbps", 2},
        WordCase{false, sim::kPciWord8BitEeprom, "v 5.3", "1 Mbps", 1},
        // Bits 16-17 = 01 on a PCI board is the EEPROM width there, not a single medium.
        WordCase{false, sim::kPciWord6BitEeprom, "v 5.3", "1 Mbps", 1},
        WordCase{false, 0x00006A04, "v 3.5", "1 Mbps", 1},
        WordCase{false, 0x00006B02, "v 3.5b", "31.25 kbps", 1},
        WordCase{true, 0x0001FF06, "v 7.15b", "2.5 Mbps", 2},
        WordCase{true, 0x00020000 | 0x0008, "v 0.0", "unknown", 1},
        WordCase{true, 0x00010001, "v 0.0", "unknown", 2}));

struct SlotCase {
    const char* driverVersion;
    const char* slot;
};

class SlotLine : public OnMachine, public ::testing::WithParamInterface<SlotCase> {};

TEST_P(SlotLine, ShowsTheSlotOnlyFromDriverVersion24) {
    boot(machineOf({pciBoard(sim::kPciWord8BitEeprom, 0x1C)}, GetParam().driverVersion));
    const CardInfo info = BuildCardInfo(kBoardTypePci, 1);
    EXPECT_EQ(info.has_pci_slot, 1);
    EXPECT_EQ(info.pci_slot, GetParam().slot);
}

INSTANTIATE_TEST_SUITE_P(DriverVersions, SlotLine,
                         ::testing::Values(SlotCase{"2.3", "unknown"}, SlotCase{"2.3.0.1", "unknown"},
                                           SlotCase{"1.9", "unknown"}, SlotCase{"2.4", "1C"},
                                           SlotCase{"2.4.0.0", "1C"}, SlotCase{"3.3", "1C"},
                                           SlotCase{"10.0", "1C"}, SlotCase{"2", "unknown"},
                                           SlotCase{"", "unknown"}, SlotCase{"v2.4", "unknown"}));

TEST_F(OnMachine, SlotThatTheDriverDoesNotKnowIsUnknown) {
    boot(machineOf({pciBoard(sim::kPciWord8BitEeprom, 0xFFFF)}));
    EXPECT_EQ(BuildCardInfo(kBoardTypePci, 1).pci_slot, "unknown");
}

TEST_F(OnMachine, PciDriverWithoutVersionResourceGivesNoSlotLine) {
    boot(machineOf({pciBoard()}));
    std::filesystem::remove(qbase::systemDirectory() / "drivers" / "ambrix.sys.version");
    const CardInfo info = BuildCardInfo(kBoardTypePci, 1);
    EXPECT_EQ(info.valid, 1);
    EXPECT_EQ(info.has_pci_slot, 0);
    EXPECT_EQ(info.pci_slot, "");
}

TEST_F(OnMachine, BoardThatDoesNotAnswerGivesAnInvalidRecord) {
    boot(machineOf({pciBoard(), pc104Board()}));
    // Another handle holds the PCI board: the query's own open is refused.
    const HANDLE holder = CreateFileA("\\\\.\\AMBRIX1", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OVERLAPPED, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    for (const auto& [type, number] : {std::pair{kBoardTypePci, 1}, std::pair{kBoardTypePc104, 2},
                                       std::pair{kBoardTypeUsb, 1}, std::pair{7u, 1}}) {
        const CardInfo info = BuildCardInfo(type, static_cast<std::uint16_t>(number));
        EXPECT_EQ(info.valid, 0) << type;
        EXPECT_EQ(info.has_pci_slot + info.has_pc104_address, 0);
        EXPECT_TRUE(info.index.empty() && info.version.empty() && info.speed.empty() && info.serial.empty());
    }
    EXPECT_EQ(GetBoardVariant({2, kBoardTypePc104}), 1);
    CloseHandle(holder);
    EXPECT_EQ(BuildCardInfo(kBoardTypePci, 1).valid, 1);
}

TEST(DriverVersionText, ReadsTheNumbersAroundTheFirstDot) {
    struct Case {
        const char* text;
        bool parsed;
        unsigned major, minor;
    };
    for (const Case& c : {Case{"2.4.0.1", true, 2, 4}, Case{"10.0", true, 10, 0}, Case{"3", true, 3, 0},
                          Case{"3.", true, 3, 0}, Case{"3.x", true, 3, 0}, Case{"999999999999.1", true, 999999, 1},
                          Case{"", false, 0, 0}, Case{".4", false, 0, 0}, Case{" 2.4", false, 0, 0}}) {
        const auto v = ParseDriverVersion(c.text);
        ASSERT_EQ(v.has_value(), c.parsed) << c.text;
        if (v) {
            EXPECT_EQ(std::pair(v->major, v->minor), std::pair(c.major, c.minor)) << c.text;
        }
    }
}

}  // namespace
}  // namespace plandrel::testing
