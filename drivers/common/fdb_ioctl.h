// The board I/O control codes between the engine and both board drivers, and their buffer sizes.
// Buffered transfers: input and output share one system buffer in the driver. 16-bit values in an
// input lie least significant byte first.
#pragma once

#include <cstdint>

namespace fdb {

// Board command family (device type 0x17).
inline constexpr std::uint32_t IOCTL_FDB_READ_VAR = 0x00172458;
inline constexpr std::uint32_t IOCTL_FDB_WRITE_VAR = 0x00172468;
inline constexpr std::uint32_t IOCTL_FDB_DEF_PARAM = 0x0017246C;
inline constexpr std::uint32_t IOCTL_FDB_START_BA = 0x00172470;
inline constexpr std::uint32_t IOCTL_FDB_STOP_BA = 0x00172474;
inline constexpr std::uint32_t IOCTL_FDB_DEF_EVT = 0x00172478;
inline constexpr std::uint32_t IOCTL_FDB_RECEIVE_MSG = 0x0017247C;
inline constexpr std::uint32_t IOCTL_FDB_READ_MSG = 0x00172480;
inline constexpr std::uint32_t IOCTL_FDB_WRITE_MSG = 0x00172484;
inline constexpr std::uint32_t IOCTL_FDB_SEND_MSG = 0x00172488;
inline constexpr std::uint32_t IOCTL_FDB_PURGE = 0x0017248C;
inline constexpr std::uint32_t IOCTL_FDB_SEND_APER = 0x00172498;
inline constexpr std::uint32_t IOCTL_FDB_CONTINUE_BA = 0x0017249C;
inline constexpr std::uint32_t IOCTL_FDB_CHANGE_MACRO_BA = 0x001724A4;
inline constexpr std::uint32_t IOCTL_FDB_MEDIUM_ACCESS = 0x001724AC;
inline constexpr std::uint32_t IOCTL_FDB_READ_EVT = 0x00176490;
inline constexpr std::uint32_t IOCTL_FDB_BA_REPORT = 0x00176494;
inline constexpr std::uint32_t IOCTL_FDB_IS_EVT = 0x001764A0;
inline constexpr std::uint32_t IOCTL_GET_PCI_SLOT = 0x001764B4;
inline constexpr std::uint32_t IOCTL_FDB_START_CIRCUIT = 0x0017A454;
inline constexpr std::uint32_t IOCTL_FDB_END_TEST = 0x0017A45C;
inline constexpr std::uint32_t IOCTL_FDB_FIP_RAZ_MEM = 0x0017A460;
inline constexpr std::uint32_t IOCTL_FDB_GET_CARD_TYPE = 0x0017A4B0;
inline constexpr std::uint32_t IOCTL_FDB_UNSUPPORTED_6400 = 0x00176400;  // answered STATUS_NOT_SUPPORTED

// Register and board family (device type 0x9C40).
inline constexpr std::uint32_t IOCTL_UNSUPPORTED_6000 = 0x9C406000;  // answered STATUS_NOT_SUPPORTED
inline constexpr std::uint32_t IOCTL_GET_EEPROM_KIND = 0x9C406008;
inline constexpr std::uint32_t IOCTL_DUMP_BRIDGE_REGISTERS = 0x9C40600C;
inline constexpr std::uint32_t IOCTL_FULLFIP2_WRITE_REGISTERS = 0x9C40A010;
inline constexpr std::uint32_t IOCTL_FULLFIP2_READ_REGISTERS = 0x9C406014;
inline constexpr std::uint32_t IOCTL_WRITE_CONTROL_REGISTER = 0x9C40A018;
inline constexpr std::uint32_t IOCTL_FULLFIP2_RESET = 0x9C40A01C;
inline constexpr std::uint32_t IOCTL_WRITE_PHY = 0x9C40A020;
inline constexpr std::uint32_t IOCTL_READ_PHY = 0x9C406024;
inline constexpr std::uint32_t IOCTL_FIELDUAL_WRITE_REGISTER = 0x9C40A028;
inline constexpr std::uint32_t IOCTL_FIELDUAL_READ_REGISTER = 0x9C40602C;
inline constexpr std::uint32_t IOCTL_READ_EEPROM = 0x9C406030;
inline constexpr std::uint32_t IOCTL_WRITE_EEPROM = 0x9C40A034;
inline constexpr std::uint32_t IOCTL_GET_SERIAL_NUMBER = 0x9C406038;
inline constexpr std::uint32_t IOCTL_GET_CARD_CONF = 0x9C40603C;
inline constexpr std::uint32_t IOCTL_READ_CONTROL_REGISTER = 0x9C406040;
inline constexpr std::uint32_t IOCTL_GET_PC104_BASE_ADDRESS = 0x9C406044;
inline constexpr std::uint32_t IOCTL_GET_LEDS_STATE = 0x9C406048;
inline constexpr std::uint32_t IOCTL_SET_LEDS_STATE = 0x9C40A04C;
inline constexpr std::uint32_t IOCTL_RELOAD_CONFIGURATION = 0x9C40A050;

// Buffer sizes of the command contract.
inline constexpr std::uint32_t kPageBytes = 128;
inline constexpr std::uint32_t kVarDataBytes = 128;
inline constexpr std::uint32_t kReadVarOutput = 133;   // status, size, up to 131 data bytes
inline constexpr std::uint32_t kWriteVarInput = 130;   // u16 index, 128 data bytes
inline constexpr std::uint32_t kMsgDataBytes = 252;
inline constexpr std::uint32_t kWriteMsgInput = 256;   // u16 key, u16 length, 252 data bytes
inline constexpr std::uint32_t kReadMsgOutput = 252;   // status, message bytes
inline constexpr std::uint32_t kReceiveMsgOutput = 9;
inline constexpr std::uint32_t kSendMsgInput = 14;
inline constexpr std::uint32_t kReadEvtOutput = 5;
inline constexpr std::uint32_t kWritePhyInput = 130;   // u16 page, 128 page bytes

// The PC104 driver's device interface class {65103BA5-7E43-436A-9383-FD8CFE67CF2A}.
struct InterfaceClass {
    std::uint32_t data1;
    std::uint16_t data2, data3;
    std::uint8_t data4[8];
};
inline constexpr InterfaceClass kPc104InterfaceClass{0x65103BA5, 0x7E43, 0x436A, {0x93, 0x83, 0xFD, 0x8C, 0xFE, 0x67, 0xCF, 0x2A}};

}  // namespace fdb
