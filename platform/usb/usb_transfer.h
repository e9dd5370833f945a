// The USB device driver's transfer interface: its device I/O control codes, and the transfer header
// of 38 bytes, little-endian, no padding, before or beside every transfer request.
#pragma once

#include <cstdint>
#include <cstring>

namespace qusb {

// The driver's device I/O control codes, one table for the engine's device classes and the driver.
namespace ioctl {
inline constexpr std::uint32_t kGetDriverVersion = 0x00220000;
inline constexpr std::uint32_t kGetUsbdiVersion = 0x00220004;
inline constexpr std::uint32_t kGetAltInterface = 0x00220008;
inline constexpr std::uint32_t kGetAddress = 0x00220010;
inline constexpr std::uint32_t kControlTransfer = 0x00220020;
inline constexpr std::uint32_t kBufferedTransfer = 0x00220024;
inline constexpr std::uint32_t kResetPipe = 0x0022002C;
inline constexpr std::uint32_t kRecover = 0x00220030;
inline constexpr std::uint32_t kGetFriendlyName = 0x0022003C;
inline constexpr std::uint32_t kGetDeviceName = 0x00220040;
inline constexpr std::uint32_t kAbortPipe = 0x00220044;
inline constexpr std::uint32_t kDirectTransfer = 0x0022004B;
inline constexpr std::uint32_t kGetSpeed = 0x0022004C;
}  // namespace ioctl

inline constexpr std::uint32_t kTransferHeaderSize = 38;

struct TransferHeader {
    std::uint8_t bmRequestType = 0;
    std::uint8_t bRequest = 0;
    std::uint16_t wValue = 0;
    std::uint16_t wIndex = 0;
    std::uint16_t wLength = 0;
    std::uint32_t timeoutSeconds = 0;
    std::uint8_t reserved = 0;
    std::uint8_t endpointAddress = 0;
    std::uint32_t ntStatus = 0;
    std::uint32_t usbdStatus = 0;
    std::uint32_t isoPacketOffset = 0;
    std::uint32_t isoPacketLength = 0;
    std::uint32_t dataOffset = 0;
    std::uint32_t dataLength = 0;

    // Field offsets of the wire layout.
    static constexpr std::size_t kNtStatus = 14, kUsbdStatus = 18, kDataLength = 34;

    void write(std::uint8_t* out) const {
        out[0] = bmRequestType;
        out[1] = bRequest;
        put(out + 2, wValue, 2);
        put(out + 4, wIndex, 2);
        put(out + 6, wLength, 2);
        put(out + 8, timeoutSeconds, 4);
        out[12] = reserved;
        out[13] = endpointAddress;
        put(out + 14, ntStatus, 4);
        put(out + 18, usbdStatus, 4);
        put(out + 22, isoPacketOffset, 4);
        put(out + 26, isoPacketLength, 4);
        put(out + 30, dataOffset, 4);
        put(out + 34, dataLength, 4);
    }
    static TransferHeader read(const std::uint8_t* in) {
        TransferHeader h;
        h.bmRequestType = in[0];
        h.bRequest = in[1];
        h.wValue = static_cast<std::uint16_t>(get(in + 2, 2));
        h.wIndex = static_cast<std::uint16_t>(get(in + 4, 2));
        h.wLength = static_cast<std::uint16_t>(get(in + 6, 2));
        h.timeoutSeconds = get(in + 8, 4);
        h.reserved = in[12];
        h.endpointAddress = in[13];
        h.ntStatus = get(in + 14, 4);
        h.usbdStatus = get(in + 18, 4);
        h.isoPacketOffset = get(in + 22, 4);
        h.isoPacketLength = get(in + 26, 4);
        h.dataOffset = get(in + 30, 4);
        h.dataLength = get(in + 34, 4);
        return h;
    }
    static void put(std::uint8_t* out, std::uint32_t v, int n) {
        for (int i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(v >> (8 * i));
    }
    static std::uint32_t get(const std::uint8_t* in, int n) {
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) v |= std::uint32_t{in[i]} << (8 * i);
        return v;
    }
};

// Statuses that the driver writes into the header.
inline constexpr std::uint32_t kUsbdStatusStall = 0xC0000004;
inline constexpr std::uint32_t kUsbdStatusCanceled = 0xC0010000;
inline constexpr std::uint32_t kUsbdStatusDeviceGone = 0xC0007000;
inline constexpr std::uint32_t kNtStatusUnsuccessful = 0xC0000001;
inline constexpr std::uint32_t kNtStatusCancelled = 0xC0000120;

}  // namespace qusb
