// Control codes of the two echo drivers that exercise the kernel stand-in (buffered, device type 0x22).
#pragma once

#include <cstdint>

namespace echo {

inline constexpr std::uint32_t IOCTL_ECHO = 0x00222000;      // output = input reversed, in the one buffer
inline constexpr std::uint32_t IOCTL_STATUS = 0x00222004;    // completes with the input's NTSTATUS, 2 bytes
inline constexpr std::uint32_t IOCTL_PEND = 0x00222008;      // completed later by a work item (echo)
inline constexpr std::uint32_t IOCTL_HOLD = 0x0022200C;      // held until cancelled or the device goes
inline constexpr std::uint32_t IOCTL_REGISTER = 0x00222010;  // u32 offset -> u32 read of the first memory range
inline constexpr std::uint32_t IOCTL_CONFIG = 0x00222014;    // {u32 UI number, 4 bytes of config space at 0x2C}
inline constexpr std::uint32_t IOCTL_POWER = 0x00222018;     // u32 device power state
inline constexpr std::uint32_t IOCTL_PORT = 0x0022201C;      // u8 port offset -> u8 read of the port range

// The GUID {8C1D0D6E-2B5A-4F4B-9E1A-3C5B7D9F1A2B} of the KMDF echo driver's interface.
inline constexpr std::uint32_t interfaceData1 = 0x8C1D0D6E;
inline constexpr std::uint16_t interfaceData2 = 0x2B5A;
inline constexpr std::uint16_t interfaceData3 = 0x4F4B;
inline constexpr std::uint8_t interfaceData4[8] = {0x9E, 0x1A, 0x3C, 0x5B, 0x7D, 0x9F, 0x1A, 0x2B};

}  // namespace echo

// Probes that the test drivers export next to DriverEntry (looked up with dlsym by the tests).
extern "C" {
using EchoProbe = long (*)();
}
