// The D2XX library stand-in: the USB-serial library through which the engine also reaches the
// USB boards. The engine binds it by ordinal; here the bound entries are a table of functions
// that a test may replace whole (install) to script the library's answers.
//
// Every entry returns an FT_STATUS (0 success; 1..19 the library's failures). Devices: every USB
// device attached to the machine (usb_devices.h), in attach order; a device admits one open
// handle at a time, also across the USB device driver (a board held by the driver does not open
// here). Read takes what has arrived, up to the count asked, without waiting (read time-out 0);
// the event given to the event entry is set whenever bytes arrive.
#pragma once

#include <cstdint>

#include "win32/windows.h"

namespace qd2xx {

using FT_HANDLE = void*;
using FT_STATUS = ULONG;

inline constexpr FT_STATUS FT_OK = 0;
inline constexpr FT_STATUS FT_INVALID_HANDLE = 1;
inline constexpr FT_STATUS FT_DEVICE_NOT_FOUND = 2;
inline constexpr FT_STATUS FT_DEVICE_NOT_OPENED = 3;
inline constexpr FT_STATUS FT_IO_ERROR = 4;
inline constexpr FT_STATUS FT_INVALID_PARAMETER = 6;

inline constexpr ULONG kPurgeRx = 1, kPurgeTx = 2;
inline constexpr ULONG kEventRxChar = 1;

// One node of the device information list.
struct DeviceListNode {
    ULONG flags;
    ULONG type;
    ULONG id;
    ULONG locationId;
    char serialNumber[16];
    char description[64];
    FT_HANDLE handle;
};

// The bound entries, by ordinal.
struct Table {
    FT_STATUS (*open)(int index, FT_HANDLE* handle);                                        // 1
    FT_STATUS (*close)(FT_HANDLE handle);                                                   // 2
    FT_STATUS (*read)(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read);            // 3
    FT_STATUS (*write)(FT_HANDLE handle, const void* bytes, DWORD count, DWORD* written);   // 4
    FT_STATUS (*ordinal6)(FT_HANDLE handle);                                                // 6
    FT_STATUS (*setBaudRate)(FT_HANDLE handle, ULONG baud);                                 // 7
    FT_STATUS (*setDataCharacteristics)(FT_HANDLE handle, UCHAR bits, UCHAR stop, UCHAR parity);  // 8
    FT_STATUS (*setFlowControl)(FT_HANDLE handle, USHORT mode, UCHAR xon, UCHAR xoff);      // 9
    FT_STATUS (*purge)(FT_HANDLE handle, ULONG mask);                                       // 16
    FT_STATUS (*setTimeouts)(FT_HANDLE handle, ULONG readMs, ULONG writeMs);                // 17
    FT_STATUS (*getQueueStatus)(FT_HANDLE handle, DWORD* waiting);                          // 18
    FT_STATUS (*setEventNotification)(FT_HANDLE handle, DWORD mask, HANDLE event);          // 19
    FT_STATUS (*ordinal29)(FT_HANDLE handle, UCHAR value);                                  // 29
    FT_STATUS (*ordinal33)(FT_HANDLE handle, ULONG inSize, ULONG outSize);                  // 33
    FT_STATUS (*ordinal65)(FT_HANDLE handle, ULONG value);                                  // 65
    FT_STATUS (*createDeviceInfoList)(DWORD* count);                                        // 70
    FT_STATUS (*getDeviceInfoList)(DeviceListNode* nodes, DWORD* count);                    // 71
};

// The bound table. Process-wide, one lock; install returns the table it replaced.
Table table();
Table install(const Table& replacement);
// The stand-in's own entries.
const Table& builtIn();

}  // namespace qd2xx
