// One PCI board as the driver sees it: the device extension and the board-level control codes.
#pragma once

#include <cstdint>

#include "command_handlers.h"
#include "kernel/wdm.h"

namespace ambrix {

inline constexpr ULONG kDeviceType = 0x9C40;

enum QueueState : LONG { kHold = 0, kProcess = 1, kFail = 2 };

struct MappedRange {
    BOOLEAN mapped;
    ULONG length;
    PHYSICAL_ADDRESS physical;
    volatile UCHAR* base;
};

// Bridge registers within range 0.
namespace bridge {
inline constexpr ULONG kConfigurationWord = 0x48;
inline constexpr ULONG kInterruptControl = 0x4C;
inline constexpr ULONG kControl = 0x50;
inline constexpr ULONG kInterruptEnable = 1u << 6;
inline constexpr ULONG kClock = 1u << 24;
inline constexpr ULONG kChipSelect = 1u << 25;
inline constexpr ULONG kDataIn = 1u << 26;
inline constexpr ULONG kDataOut = 1u << 27;
inline constexpr ULONG kEepromPresent = 1u << 28;
inline constexpr ULONG kReload = 1u << 29;
inline constexpr ULONG kReset = 1u << 30;
inline constexpr ULONG kDumpCount = 21;
}  // namespace bridge

struct Extension;

// The FULLFIP2 and FIELDUAL byte registers of a mapped board (register n at byte offset 4 x n).
class MappedAccessor final : public fullfip2::RegisterAccessor {
public:
    explicit MappedAccessor(Extension& board) : board_(board) {}
    std::uint8_t readFullfip(std::uint8_t reg) override;
    void writeFullfip(std::uint8_t reg, std::uint8_t value) override;
    std::uint8_t readFieldual(std::uint8_t reg) override;
    void writeFieldual(std::uint8_t reg, std::uint8_t value) override;

private:
    Extension& board_;
};

struct Extension {
    USHORT deviceType;
    USHORT subsystemVendor;
    USHORT subsystem;
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT lower;
    PDEVICE_OBJECT physical;
    BOOLEAN started;
    BOOLEAN removed;
    ULONG index;
    ULONG cardConf;
    MappedRange ranges[3];
    ULONG slot;
    LONG inProgress;
    KEVENT removeEvent;
    KEVENT stopEvent;
    SYSTEM_POWER_STATE systemPower;
    DEVICE_POWER_STATE devicePower;
    PIRP pendingSystemPower;  // the system power request waiting for its device power request
    LONG queueState;
    LIST_ENTRY held;
    KSPIN_LOCK heldLock;
    KMUTEX transactionLock;  // blocking: handlers poll the board for up to 50 s
    BOOLEAN released;
    LONG sleeps;  // system set-power requests to a sleeping state so far
};

inline Extension* extensionOf(PDEVICE_OBJECT device) { return static_cast<Extension*>(device->DeviceExtension); }

// The fields that requests, PnP and power transitions share across threads (started, removed, the
// power states, the queue state) are read and written whole, in one order for every thread.
template <typename T>
T loadField(const T& field) {
    return __atomic_load_n(&field, __ATOMIC_SEQ_CST);
}
template <typename T>
void storeField(T& field, T value) {
    __atomic_store_n(&field, value, __ATOMIC_SEQ_CST);
}

// Runs the handler of one control code (board-level or FIP command) on a started board.
// The buffer holds the input on entry and the output on return.
fullfip2::Completion runControl(Extension& board, ULONG code, ULONG inLength, ULONG outLength, UCHAR* buffer);

// ---- requests (requests.cpp)
NTSTATUS completeRequest(PIRP irp, NTSTATUS status, ULONG_PTR information);
NTSTATUS passDown(Extension& board, PIRP irp);
// The count of requests in progress; waitIdle returns once it is zero (PASSIVE_LEVEL).
void beginRequest(Extension& board);
void endRequest(Extension& board);
void waitIdle(Extension& board);
void setQueueState(Extension& board, QueueState state);
// A device-control request counted in progress, by the queue state: process runs it under the
// transaction lock and completes it; hold queues it (cancellable) and returns STATUS_PENDING; fail
// completes it with STATUS_NO_SUCH_DEVICE.
NTSTATUS admitControl(Extension& board, PIRP irp);
// Runs the held requests in order while the queue state is process.
void runHeld(Extension& board);
// Completes every held request with STATUS_NO_SUCH_DEVICE.
void failHeld(Extension& board);

// ---- power (power.cpp)
// Asks for D0 when the board is started, the system working and the board below D0. At
// PASSIVE_LEVEL it waits for the D0 request and returns its status (success when the system began
// to sleep meanwhile: the caller's request then waits in the hold queue for the resume); above, a
// work item asks for it and the caller's request waits in the hold queue until the board is in D0.
NTSTATUS wake(Extension& board);
DRIVER_DISPATCH dispatchPower;

}  // namespace ambrix
