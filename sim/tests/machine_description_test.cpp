// The machine description and the code image: defaults, every field, and refusals of bad input.
#include <gtest/gtest.h>

#include "sim/machine/code_image.h"
#include "sim/machine/machine_description.h"

namespace sim {
namespace {

TEST(MachineDescription, DefaultIsOnePciOneDualMediumPc104AndOneUsbBoard) {
    const MachineDescription d = defaultMachine();
    ASSERT_EQ(d.boards.size(), 3u);
    EXPECT_TRUE(std::holds_alternative<UsbBoardConfig>(d.boards[2]));
    EXPECT_TRUE(std::holds_alternative<PciBoardConfig>(d.boards[0]));
    const auto& pc104 = std::get<Pc104BoardConfig>(d.boards[1]);
    EXPECT_TRUE(pc104.dualMedium);
    EXPECT_EQ(pc104.configurationWord & 0x30000, 0x20000u);
    EXPECT_NE(pc104.configurationWord & 0x300, 0x100u);
    EXPECT_EQ(d.ambrixVersion, "3.1");
    EXPECT_EQ(d.osprixVersion, "1.0");
}

TEST(MachineDescription, ReadsEveryField) {
    const MachineDescription d = parseMachineDescription(R"({
        "boards": [
          {"type": "pc104", "baseAddress": "0x280", "medium": "single", "serialNumber": 42},
          {"type": "pci", "slot": 5, "configurationWord": "0xA604", "serialNumber": "0xABCD",
           "medium": "single", "eeprom": {"addressBits": 6, "words": [1, "0x2"]},
           "subsystemVendor": 0, "subsystemId": "0", "physicalAddress": "0xE0000000"},
          {"type": "pci", "eeprom": false},
          {"type": "pc104", "configurationWord": "0x1A504"}
        ],
        "driverVersions": {"ambrix": "2.3", "osprix": "1.1"}
    })");
    ASSERT_EQ(d.boards.size(), 4u);
    const auto& single = std::get<Pc104BoardConfig>(d.boards[0]);
    EXPECT_EQ(single.basePort, 0x280u);
    EXPECT_FALSE(single.dualMedium);
    EXPECT_EQ(single.configurationWord, kPc104SingleMediumWord);
    EXPECT_EQ(single.serialNumber, 42u);
    const auto& pci = std::get<PciBoardConfig>(d.boards[1]);
    EXPECT_EQ(pci.uiNumber, 5u);
    EXPECT_EQ(pci.configurationWord, 0xA604u);
    EXPECT_EQ(pci.serialNumber, 0xABCDu);
    EXPECT_FALSE(pci.dualMedium);
    EXPECT_EQ(pci.eepromAddressBits, 6u);
    EXPECT_EQ(pci.eepromWords, (std::vector<std::uint16_t>{1, 2}));
    EXPECT_EQ(pci.subsystemVendor, 0);
    EXPECT_EQ(pci.physicalAddress, 0xE0000000u);
    const auto& bare = std::get<PciBoardConfig>(d.boards[2]);
    EXPECT_EQ(bare.eepromAddressBits, 0u);
    EXPECT_EQ(bare.uiNumber, 2u);  // second PCI board
    EXPECT_FALSE(std::get<Pc104BoardConfig>(d.boards[3]).dualMedium);
    EXPECT_EQ(std::get<Pc104BoardConfig>(d.boards[3]).basePort, 0x320u);
    EXPECT_EQ(d.ambrixVersion, "2.3");
    EXPECT_EQ(d.osprixVersion, "1.1");
}

TEST(MachineDescription, ReadsUsbBoards) {
    const MachineDescription d = parseMachineDescription(R"({
        "boards": [
          {"type": "usb", "firmwareVersion": "0x0302", "medium": "single"},
          {"type": "usb", "serialNumber": 7, "configurationWord": "0x2A604"}
        ]
    })");
    ASSERT_EQ(d.boards.size(), 2u);
    const auto& first = std::get<UsbBoardConfig>(d.boards[0]);
    EXPECT_EQ(first.firmwareMajor, 3);
    EXPECT_EQ(first.firmwareMinor, 2);
    EXPECT_FALSE(first.dualMedium);
    EXPECT_EQ(first.configurationWord, kUsbSingleMediumWord);
    EXPECT_EQ(first.serialNumber, 0x00030001u);
    const auto& second = std::get<UsbBoardConfig>(d.boards[1]);
    EXPECT_EQ(second.serialNumber, 7u);
    EXPECT_TRUE(second.dualMedium);
    EXPECT_THROW(parseMachineDescription(R"({"boards": [{"type": "usb", "firmwareVersion": 65536}]})"),
                 DescriptionError);
    EXPECT_THROW(parseMachineDescription(R"({"boards": [{"type": "usb", "slot": 1}]})"), DescriptionError);
}

TEST(MachineDescription, EmptyObjectHasNoBoards) { EXPECT_TRUE(parseMachineDescription("{}").boards.empty()); }

// A description of `count` USB boards.
std::string UsbBoards(std::size_t count) {
    std::string json = R"({"boards": [)";
    for (std::size_t i = 0; i < count; ++i) json += i == 0 ? R"({"type": "usb"})" : R"(, {"type": "usb"})";
    return json + "]}";
}
const std::string kTooManyUsbBoards = UsbBoards(kMaxUsbBoards + 1);

struct BadInput {
    const char* name;
    const char* json;
    const char* mentions;
};

class RefusedDescription : public ::testing::TestWithParam<BadInput> {};

TEST_P(RefusedDescription, NamesTheFault) {
    try {
        parseMachineDescription(GetParam().json);
        FAIL() << "accepted";
    } catch (const DescriptionError& e) {
        EXPECT_NE(std::string(e.what()).find(GetParam().mentions), std::string::npos) << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, RefusedDescription,
    ::testing::Values(
        BadInput{"Syntax", "{\"boards\": [", "syntax"}, BadInput{"NotAnObject", "[]", "root"},
        BadInput{"UnknownRootField", R"({"board": []})", "unknown field \"board\""},
        BadInput{"BoardsNotArray", R"({"boards": 3})", "boards"},
        BadInput{"NoType", R"({"boards": [{}]})", "boards[0]"},
        BadInput{"UnknownType", R"({"boards": [{"type": "isa"}]})", "boards[0].type"},
        BadInput{"UnknownBoardField", R"({"boards": [{"type": "pci", "slots": 1}]})", "unknown field \"slots\""},
        BadInput{"NegativeNumber", R"({"boards": [{"type": "pci", "slot": -1}]})", "boards[0].slot"},
        BadInput{"NotANumber", R"({"boards": [{"type": "pc104", "baseAddress": "0x30g"}]})", "not a number"},
        BadInput{"PortBeyondSpace", R"({"boards": [{"type": "pc104", "baseAddress": 65530}]})", "value above"},
        BadInput{"Medium", R"({"boards": [{"type": "pc104", "medium": "triple"}]})", "medium"},
        BadInput{"AddressBits", R"({"boards": [{"type": "pci", "eeprom": {"addressBits": 7}}]})", "6 or 8"},
        BadInput{"TooManyWords", R"({"boards": [{"type": "pci", "eeprom": {"addressBits": 6, "words": [)"
                                 R"(0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,)"
                                 R"(0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0]}}]})",
                 "more words"},
        BadInput{"WordTooBig", R"({"boards": [{"type": "pci", "eeprom": {"words": [65536]}}]})", "words[0]"},
        BadInput{"OverlappingPorts",
                 R"({"boards": [{"type": "pc104", "baseAddress": "0x300"}, {"type": "pc104", "baseAddress": "0x310"}]})",
                 "boards[1]: port range overlaps"},
        BadInput{"OverlappingMemory",
                 R"({"boards": [{"type": "pci"}, {"type": "pci", "physicalAddress": "0xF0002000"}]})",
                 "boards[1]: memory ranges overlap"},
        BadInput{"UnalignedMemory", R"({"boards": [{"type": "pci", "physicalAddress": 4097}]})", "multiple"},
        BadInput{"VersionNotString", R"({"driverVersions": {"ambrix": 3.1}})", "driverVersions.ambrix"},
        BadInput{"TooManyUsbBoards", kTooManyUsbBoards.c_str(), "128 USB boards: at most 127"}),
    [](const ::testing::TestParamInfo<BadInput>& info) { return std::string(info.param.name); });

TEST(CodeImage, HasTheKernalaLayoutAndIsDeterministic) {
    const auto image = codeImage();
    ASSERT_EQ(image.size(), 2u + kCodeImagePages * kCodeImageBlockBytes);
    EXPECT_EQ(image[0] | image[1] << 8, kCodeImagePages);
    for (std::uint16_t i = 0; i < kCodeImagePages; ++i) {
        const std::size_t at = 2 + std::size_t{i} * kCodeImageBlockBytes;
        ASSERT_EQ(image[at] | image[at + 1] << 8, i * 128) << i;
        ASSERT_EQ(std::vector<std::uint8_t>(image.begin() + at + 2, image.begin() + at + 130), codeImagePage(i));
    }
    EXPECT_EQ(codeImage(), image);
    EXPECT_NE(codeImagePage(1), codeImagePage(2));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(image.data() + 4), 8), "QUORELLE");
}

}  // namespace
}  // namespace sim
