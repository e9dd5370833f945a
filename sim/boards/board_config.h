// What the machine description fixes about one board.
#pragma once

#include <cstdint>
#include <vector>

namespace sim {

// CardConfWord fields: speed in bits 1-2 (4 = 1 Mbit/s), version in bits 8-15 (v 5.3 below),
// medium kind in bits 16-17 (1 single, 2 dual). The PC104 driver tells a single-medium board by
// bits 8-9 = 01, so the single-medium word carries version 5.2b.
inline constexpr std::uint32_t kPc104DualMediumWord = 0x0002A604;
inline constexpr std::uint32_t kPc104SingleMediumWord = 0x0001A504;
// On the PCI board bits 16-17 give the EEPROM's address width to the driver: 0 six bits, 1 eight.
inline constexpr std::uint32_t kPciWord6BitEeprom = 0x0000A604;
inline constexpr std::uint32_t kPciWord8BitEeprom = 0x0001A604;

struct PciBoardConfig {
    std::uint32_t configurationWord = kPciWord8BitEeprom;
    std::uint32_t serialNumber = 0x00010001;
    bool dualMedium = true;
    unsigned eepromAddressBits = 8;            // 6 or 8; 0: no EEPROM fitted
    std::vector<std::uint16_t> eepromWords;    // initial content; the serial number and the
                                               // configuration word are written over it
    std::uint16_t subsystemVendor = 0x51C0;    // both 0: a board without subsystem identifiers
    std::uint16_t subsystemId = 0x0002;
    std::uint32_t uiNumber = 1;                // the slot
    std::uint64_t physicalAddress = 0xF0000000;  // of the bridge range; the others follow it
};

// The USB board reports the medium kind in bits 16-17 of its information word, as the PC104 board.
inline constexpr std::uint32_t kUsbDualMediumWord = 0x0002A604;
inline constexpr std::uint32_t kUsbSingleMediumWord = 0x0001A504;

struct UsbBoardConfig {
    std::uint32_t configurationWord = kUsbDualMediumWord;
    std::uint32_t serialNumber = 0x00030001;
    bool dualMedium = true;
    // The firmware version as read by identifier 6: the engine speaks to a second byte of 0 or 1.
    std::uint8_t firmwareMajor = 0x02;
    std::uint8_t firmwareMinor = 0x01;
    std::uint16_t vendorId = 0x04B4;
    std::uint16_t productId = 0x5701;
};

struct Pc104BoardConfig {
    std::uint32_t configurationWord = kPc104DualMediumWord;
    std::uint32_t serialNumber = 0x00020001;
    bool dualMedium = true;
    std::uint32_t basePort = 0x300;
};

}  // namespace sim
