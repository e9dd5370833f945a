// The USB device driver stand-in: the device interface through which the engine's USB device
// classes reach the USB boards attached to the machine (usb_devices.h).
//
// Each attached device has one interface of class kUsbDriverInterfaceClass, listed by SetupDi in
// attach order ("\\?\ulmrix#vid_04b4&pid_5701#<n>#{class}", the hardware identifiers in the path
// as the platform gives them) and opened by CreateFile; a device admits one open handle at a time (exclusive: a
// second open fails with ERROR_ACCESS_DENIED). DeviceIoControl on the handle takes the driver's
// codes with the 38-byte transfer header (usb_transfer.h):
//   0x00220000 / 0x00220004  u32 driver properties        0x00220008  alternate setting (0)
//   0x00220010  u8 device address                         0x0022003C / 0x00220040  name texts
//   0x0022004C  bus speed (2 high, 4 super)               0x00220030  recovery (nothing to do)
//   0x00220020  control transfer on endpoint 0: GET_DESCRIPTOR only, others stall
//   0x00220024  buffered transfer, 0x0022004B direct transfer (header in, data out), on 0x81 / 0x01
//   0x0022002C  reset pipe                                0x00220044  abort the endpoint's transfers
// Transfers are overlapped when given an OVERLAPPED: bulk OUT ends at once; bulk IN ends when the
// device sends bytes (as many as are there, up to the request's length), or ERROR_OPERATION_ABORTED
// with USBD status CANCELED on an abort or when the handle closes. A device that has left the
// machine fails every request with ERROR_DEVICE_NOT_CONNECTED.
// Device notifications (RegisterDeviceNotificationA): a device attached or detached is announced
// to the windows registered for the interface class, and a detached one also to the windows
// registered on its open handle, before the class hears of it.
#pragma once

#include <cstdint>

#include "win32/windows.h"

namespace qusb {

inline constexpr GUID kUsbDriverInterfaceClass = {0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

// Misbehaviour on demand (tests), process-wide.
struct DriverFaults {
    bool failBulkOut = false;   // bulk OUT transfers end with USBD status STALL
    bool holdBulkOut = false;   // bulk OUT transfers never end until aborted
    std::uint32_t shortBulkOut = 0;  // nonzero: bulk OUT moves at most this many bytes
    bool failBulkIn = false;    // the next bulk IN completion ends with USBD status STALL
};
void setDriverFaults(DriverFaults faults);

// Registers the driver with the platform (done when the library loads; idempotent).
void registerUsbDriver();

}  // namespace qusb
