// The FULLFIP2 command layer's view of a board: byte registers of the FULLFIP2 controller and of
// the FIELDUAL medium interface, and the NT status values the layer returns.
//
// Each driver supplies one accessor per board (mapped memory for the PCI board, I/O ports for the
// PC104 board). Contract of every entry: one byte-wide access, no side effect beyond the chip's own,
// never fails, may be called at any IRQL. The accessor is not locked: the caller runs one
// transaction per board at a time (the PCI driver's board lock, the PC104 driver's sequential queue).
#pragma once

#include <cstdint>

namespace fullfip2 {

class RegisterAccessor {
public:
    virtual std::uint8_t readFullfip(std::uint8_t reg) = 0;              // FULLFIP2 register 0..7
    virtual void writeFullfip(std::uint8_t reg, std::uint8_t value) = 0;
    virtual std::uint8_t readFieldual(std::uint8_t reg) = 0;             // FIELDUAL register 0..3
    virtual void writeFieldual(std::uint8_t reg, std::uint8_t value) = 0;

protected:
    ~RegisterAccessor() = default;
};

using NtStatus = std::int32_t;

// NT status values of the layer (named apart from the kernel's STATUS_ macros, which they equal).
namespace nt {
inline constexpr NtStatus kSuccess = 0;
inline constexpr NtStatus kTimeout = 0x102;  // 258: the wait's own code, a success value for NT
inline constexpr NtStatus kDeviceBusy = static_cast<NtStatus>(0x80000011);
inline constexpr NtStatus kUnsuccessful = static_cast<NtStatus>(0xC0000001);
inline constexpr NtStatus kInvalidParameter = static_cast<NtStatus>(0xC000000D);
inline constexpr NtStatus kIoTimeout = static_cast<NtStatus>(0xC00000B5);
inline constexpr NtStatus kNotSupported = static_cast<NtStatus>(0xC00000BB);
inline constexpr NtStatus kInvalidDeviceState = static_cast<NtStatus>(0xC0000184);
}  // namespace nt

// FULLFIP2 register numbers and USTATE bits.
namespace reg {
inline constexpr std::uint8_t kUcom = 0;     // write: command byte (0 = CLOSE); read: USTATE
inline constexpr std::uint8_t kTest = 1;     // written 1 before END_TEST
inline constexpr std::uint8_t kKeyHigh = 2;  // write: key high byte; read: status byte
inline constexpr std::uint8_t kKeyLow = 3;   // write: key low byte; read: VAR_SIZE
inline constexpr std::uint8_t kFifo = 7;     // data FIFO, one byte per access
inline constexpr std::uint8_t kStatus = kKeyHigh;
inline constexpr std::uint8_t kVarSize = kKeyLow;
}  // namespace reg

inline constexpr std::uint8_t kClose = 0;
inline constexpr std::uint8_t kBusy = 0x80;
inline constexpr std::uint8_t kAnswerReady = 0x90;
inline constexpr std::uint8_t kDataReady = 0x98;
inline constexpr std::uint8_t kDataRequest = 0x08;  // tested alone after the WRITE_VAR answer
inline constexpr std::uint8_t kCardRefused = 0x80;  // status byte bit 7

}  // namespace fullfip2
