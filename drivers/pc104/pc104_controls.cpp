// The PC104 board's device-control codes: its own board-level codes, the PCI-only codes it
// refuses, and the FIP commands handed to the command layer.
#include <array>

#include "fdb_ioctl.h"
#include "pc104_device.h"

namespace osprix {
namespace {

using fullfip2::Completion;
using fullfip2::failed;
namespace nt = fullfip2::nt;

constexpr ULONG kFullfipRegisters = 8;
constexpr ULONG kFieldualRegisters = 4;

std::uint32_t readU32(const std::uint8_t* bytes) {
    return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | std::uint32_t{bytes[3]} << 24;
}

Completion answerU32(std::uint8_t* buffer, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) buffer[i] = static_cast<std::uint8_t>(value >> (8 * i));
    return {nt::kSuccess, 4};
}

UCHAR readControl(OSPRIX_DEVICE_EXTENSION& board) { return READ_PORT_UCHAR(board.ioBase + kControlPort); }
void writeControl(OSPRIX_DEVICE_EXTENSION& board, UCHAR value) { WRITE_PORT_UCHAR(board.ioBase + kControlPort, value); }

// Register reads and writes of one register bank: {u32 register} -> u32, {u32 register, u32 value}.
Completion readRegister(OSPRIX_DEVICE_EXTENSION& board, ULONG first, ULONG count, ULONG in, ULONG out,
                        std::uint8_t* buffer) {
    if (in != 4 || out != 4) return failed(nt::kInvalidParameter);
    const std::uint32_t reg = readU32(buffer);
    if (reg >= count) return failed(nt::kInvalidParameter);
    return answerU32(buffer, READ_PORT_UCHAR(board.ioBase + first + reg));
}

Completion writeRegister(OSPRIX_DEVICE_EXTENSION& board, ULONG first, ULONG count, ULONG in, std::uint8_t* buffer) {
    if (in != 8) return failed(nt::kInvalidParameter);
    const std::uint32_t reg = readU32(buffer);
    const std::uint32_t value = readU32(buffer + 4);
    if (reg >= count) return failed(nt::kInvalidParameter);
    if (first == kFullfipPorts) DbgPrint("Going to write 0x%X to PC104 reg 0x%X\n", value, reg);
    WRITE_PORT_UCHAR(board.ioBase + first + reg, static_cast<UCHAR>(value));
    return {nt::kSuccess, 0};
}

// Control-register offsets: 0 names the control register; an offset past the board's ports is
// refused rather than reaching another device's ports.
bool controlPort(const OSPRIX_DEVICE_EXTENSION& board, std::uint32_t offset, ULONG* port) {
    *port = offset == 0 ? kControlPort : offset;
    return *port < board.portLength;
}

Completion readControlRegister(OSPRIX_DEVICE_EXTENSION& board, ULONG in, ULONG out, std::uint8_t* buffer) {
    ULONG port = 0;
    if (in != 4 || out != 4 || !controlPort(board, readU32(buffer), &port)) return failed(nt::kInvalidParameter);
    const Completion done = answerU32(buffer, READ_PORT_UCHAR(board.ioBase + port));
    delay5ms();
    return done;
}

Completion writeControlRegister(OSPRIX_DEVICE_EXTENSION& board, ULONG in, std::uint8_t* buffer) {
    ULONG port = 0;
    if (in != 8 || !controlPort(board, readU32(buffer), &port)) return failed(nt::kInvalidParameter);
    WRITE_PORT_UCHAR(board.ioBase + port, static_cast<UCHAR>(readU32(buffer + 4)));
    delay5ms();
    return {nt::kSuccess, 0};
}

Completion mediumAccess(OSPRIX_DEVICE_EXTENSION& board, ULONG in, ULONG out, std::uint8_t* buffer) {
    if (in == 1 && out == 1 && !board.dualMedium && buffer[0] >= 2 && buffer[0] <= 7) {
        DbgPrint("Command not supported by mono medium device\n");
        return failed(nt::kNotSupported);
    }
    return fullfip2::BASE_MEDIUM_ACCESS(*board.registers, in, out, buffer);
}

constexpr std::array<ULONG, 6> kPciOnlyCodes{fdb::IOCTL_UNSUPPORTED_6000, fdb::IOCTL_GET_EEPROM_KIND,
                                             fdb::IOCTL_DUMP_BRIDGE_REGISTERS, fdb::IOCTL_RELOAD_CONFIGURATION,
                                             fdb::IOCTL_FDB_UNSUPPORTED_6400, fdb::IOCTL_GET_PCI_SLOT};

}  // namespace

Completion deviceControl(OSPRIX_DEVICE_EXTENSION& board, ULONG code, ULONG in, ULONG out, std::uint8_t* buffer) {
    switch (code) {
    case fdb::IOCTL_FULLFIP2_READ_REGISTERS: return readRegister(board, kFullfipPorts, kFullfipRegisters, in, out, buffer);
    case fdb::IOCTL_FULLFIP2_WRITE_REGISTERS: return writeRegister(board, kFullfipPorts, kFullfipRegisters, in, buffer);
    case fdb::IOCTL_FIELDUAL_READ_REGISTER: return readRegister(board, kFieldualPorts, kFieldualRegisters, in, out, buffer);
    case fdb::IOCTL_FIELDUAL_WRITE_REGISTER: return writeRegister(board, kFieldualPorts, kFieldualRegisters, in, buffer);
    case fdb::IOCTL_READ_CONTROL_REGISTER: return readControlRegister(board, in, out, buffer);
    case fdb::IOCTL_WRITE_CONTROL_REGISTER: return writeControlRegister(board, in, buffer);
    case fdb::IOCTL_FULLFIP2_RESET:
        writeControl(board, readControl(board) | kControlReset);
        return {nt::kSuccess, 0};
    case fdb::IOCTL_GET_SERIAL_NUMBER:
        if (out != 4) return failed(nt::kInvalidParameter);
        return answerU32(buffer, ReadUlongFromPC104Eeprom(board.ioBase + kSerialNumberPort));
    case fdb::IOCTL_GET_CARD_CONF:
        if (out != 4) return failed(nt::kInvalidParameter);
        return answerU32(buffer, ReadUlongFromPC104Eeprom(board.ioBase + kCardConfPort));
    case fdb::IOCTL_GET_PC104_BASE_ADDRESS:
        if (out != 4) return failed(nt::kInvalidParameter);
        return answerU32(buffer, board.portStart);
    case fdb::IOCTL_GET_LEDS_STATE:
        if (out != 1) return failed(nt::kInvalidParameter);
        buffer[0] = static_cast<std::uint8_t>((readControl(board) >> 4) & 7);
        return {nt::kSuccess, 1};
    case fdb::IOCTL_SET_LEDS_STATE: {
        if (in != 1) return failed(nt::kInvalidParameter);
        const UCHAR leds = static_cast<UCHAR>((buffer[0] << 4) & kControlLeds);
        writeControl(board, static_cast<UCHAR>((readControl(board) & ~kControlLeds) | leds));
        return {nt::kSuccess, 0};
    }
    case fdb::IOCTL_FDB_GET_CARD_TYPE:
        if (out < 4) {
            DbgPrint("Pc104GetCardType fails due to output buffer too small\n");
            return failed(nt::kInvalidParameter);
        }
        return answerU32(buffer, 1);
    case fdb::IOCTL_FDB_MEDIUM_ACCESS: return mediumAccess(board, in, out, buffer);
    default: break;
    }
    for (ULONG pciOnly : kPciOnlyCodes) {
        if (code == pciOnly) {
            DbgPrint("Unsuppoted IOCTL %X => STATUS_NOT_SUPPORTED\n", code);
            return failed(nt::kNotSupported);
        }
    }
    if (const fullfip2::Handler handler = fullfip2::findHandler(code)) return handler(*board.registers, in, out, buffer);
    DbgPrint("Unsuppoted IOCTL %X => STATUS_NOT_IMPLEMENTED\n", code);
    return failed(static_cast<fullfip2::NtStatus>(STATUS_NOT_IMPLEMENTED));
}

}  // namespace osprix
