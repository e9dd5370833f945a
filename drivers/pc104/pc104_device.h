// The PC104 board's device context and the routines the driver's callbacks share.
#pragma once

#include <cstdint>

#include "command_handlers.h"
#include "kernel/wdf.h"
#include "multi_card.h"

namespace osprix {

// Port map, offsets from the I/O base (byte accesses).
inline constexpr ULONG kFullfipPorts = 0;      // FULLFIP2 registers 0..7
inline constexpr ULONG kFieldualPorts = 8;     // FIELDUAL registers 0..3
inline constexpr ULONG kSerialNumberPort = 16;
inline constexpr ULONG kCardConfPort = 20;
inline constexpr ULONG kControlPort = 24;      // bit 0 resets the FULLFIP2, bits 4-6 the LEDs
inline constexpr UCHAR kControlReset = 0x01;
inline constexpr UCHAR kControlLeds = 0x70;

// The command layer's registers at I/O base + register.
class PortAccessor final : public fullfip2::RegisterAccessor {
public:
    explicit PortAccessor(PUCHAR ioBase) : ioBase_(ioBase) {}
    std::uint8_t readFullfip(std::uint8_t reg) override { return READ_PORT_UCHAR(ioBase_ + kFullfipPorts + reg); }
    void writeFullfip(std::uint8_t reg, std::uint8_t value) override {
        WRITE_PORT_UCHAR(ioBase_ + kFullfipPorts + reg, value);
    }
    std::uint8_t readFieldual(std::uint8_t reg) override { return READ_PORT_UCHAR(ioBase_ + kFieldualPorts + reg); }
    void writeFieldual(std::uint8_t reg, std::uint8_t value) override {
        WRITE_PORT_UCHAR(ioBase_ + kFieldualPorts + reg, value);
    }

private:
    PUCHAR ioBase_;
};

}  // namespace osprix

struct OSPRIX_DEVICE_EXTENSION {
    WDFDEVICE device;
    ULONG deviceIndex;
    UCHAR dualMedium;
    ULONG portLength;
    PUCHAR ioBase;
    osprix::PortAccessor* registers;  // constructed in place in registerStorage at hardware preparation
    ULONG portStart;
    alignas(osprix::PortAccessor) unsigned char registerStorage[sizeof(osprix::PortAccessor)];
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(OSPRIX_DEVICE_EXTENSION, Pc104GetDeviceExtension)

namespace osprix {

// The driver-wide multi-board registry values.
multicard::MultiCardInformation& multiCard();

// Five byte reads with a 5 ms delay after each: port, port + 1, + 2, + 3 and + 3 again; the
// last four, most significant first, form the word (the first read restarts the board's window).
ULONG ReadUlongFromPC104Eeprom(PUCHAR port);

// The 5 ms pause the board needs after window and control-register accesses.
void delay5ms();

// Single medium: configuration word bits 8-9 equal to 01.
inline bool isDualMedium(ULONG cardConf) { return (cardConf & 0x300) != 0x100; }

// Runs one device-control request of the board (the driver's own codes or the command layer).
fullfip2::Completion deviceControl(OSPRIX_DEVICE_EXTENSION& board, ULONG code, ULONG inLength, ULONG outLength,
                                   std::uint8_t* buffer);

}  // namespace osprix
