// Power handling of a started PCI board. The board keeps its device power state; a system power
// request becomes a device power request of the same kind, D0 for the working state and D3 for any
// sleeping state; requests wait in the hold queue while the board is below D0 or leaving it; and a
// request that needs the board asks for D0 first (wake).
//
// A transition that waits for the requests in progress runs in a work item at PASSIVE_LEVEL, since
// power requests may arrive, and their completion routines run, at DISPATCH_LEVEL. A work item is
// kept in the power request's first driver context slot until its routine runs.
#include "board.h"

namespace ambrix {
namespace {

bool isSystem(PIO_STACK_LOCATION stack) { return stack->Parameters.Power.Type == SystemPowerState; }

// Queues `routine` with the IRP as its context. False when no work item can be had.
bool defer(Extension& board, PIRP irp, PIO_WORKITEM_ROUTINE routine) {
    PIO_WORKITEM item = IoAllocateWorkItem(board.self);
    if (item == nullptr) return false;
    irp->Tail.Overlay.DriverContext[0] = item;
    IoQueueWorkItem(item, routine, DelayedWorkQueue, irp);
    return true;
}

// The work item of a deferred IRP, taken before the IRP goes on (it may be freed once completed).
PIO_WORKITEM takeWork(PIRP irp) { return static_cast<PIO_WORKITEM>(irp->Tail.Overlay.DriverContext[0]); }

// A completion routine's answer that lets the IRP go on up.
constexpr NTSTATUS kContinueCompletion = STATUS_SUCCESS;

NTSTATUS completePower(PIRP irp, NTSTATUS status) {
    PoStartNextPowerIrp(irp);
    return completeRequest(irp, status, 0);
}

NTSTATUS passPowerDown(Extension& board, PIRP irp) {
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(board.lower, irp);
}

// ---- device power

// Records a new device power state. Leaving D0 holds the queue and waits until no request is in
// progress; entering D0 lets the queue process (the caller then runs the held requests, once the
// power request is on its way). PASSIVE_LEVEL.
NTSTATUS enterDeviceState(Extension& board, DEVICE_POWER_STATE state) {
    if (state == PowerDeviceD0 && loadField(board.systemPower) != PowerSystemWorking) return STATUS_UNSUCCESSFUL;
    const DEVICE_POWER_STATE before = loadField(board.devicePower);
    storeField(board.devicePower, state);
    if (before == PowerDeviceD0 && state != PowerDeviceD0) {
        setQueueState(board, kHold);
        waitIdle(board);
    }
    POWER_STATE reported;
    reported.DeviceState = state;
    PoSetPowerState(board.self, DevicePowerState, reported);
    if (state == PowerDeviceD0) setQueueState(board, kProcess);
    return STATUS_SUCCESS;
}

// To the same or a lower-power state: handled first, then passed down.
IO_WORKITEM_ROUTINE powerDownWork;
void powerDownWork(PDEVICE_OBJECT device, PVOID context) {
    Extension& board = *extensionOf(device);
    auto* irp = static_cast<PIRP>(context);
    PIO_WORKITEM item = takeWork(irp);
    const DEVICE_POWER_STATE state = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState;
    const NTSTATUS status = enterDeviceState(board, state);
    if (NT_SUCCESS(status)) {
        passPowerDown(board, irp);
        if (state == PowerDeviceD0) runHeld(board);
    } else {
        completePower(irp, status);
    }
    IoFreeWorkItem(item);
}

// To a higher-power state: handled once the lower drivers have powered the board.
IO_WORKITEM_ROUTINE powerUpWork;
void powerUpWork(PDEVICE_OBJECT device, PVOID context) {
    Extension& board = *extensionOf(device);
    auto* irp = static_cast<PIRP>(context);
    PIO_WORKITEM item = takeWork(irp);
    const DEVICE_POWER_STATE state = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState;
    const NTSTATUS status = enterDeviceState(board, state);
    completePower(irp, status);
    if (NT_SUCCESS(status) && state == PowerDeviceD0) runHeld(board);
    IoFreeWorkItem(item);
}

IO_COMPLETION_ROUTINE poweredUp;
NTSTATUS poweredUp(PDEVICE_OBJECT device, PIRP irp, PVOID) {
    if (!NT_SUCCESS(irp->IoStatus.Status)) {
        PoStartNextPowerIrp(irp);
        return kContinueCompletion;
    }
    if (defer(*extensionOf(device), irp, powerUpWork)) return STATUS_MORE_PROCESSING_REQUIRED;
    irp->IoStatus.Status = STATUS_INSUFFICIENT_RESOURCES;
    PoStartNextPowerIrp(irp);
    return kContinueCompletion;
}

NTSTATUS setDevicePower(Extension& board, PIRP irp) {
    const DEVICE_POWER_STATE state = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState;
    IoMarkIrpPending(irp);
    if (state < loadField(board.devicePower)) {
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, poweredUp, nullptr, TRUE, TRUE, TRUE);
        PoCallDriver(board.lower, irp);
    } else if (!defer(board, irp, powerDownWork)) {
        completePower(irp, STATUS_INSUFFICIENT_RESOURCES);
    }
    return STATUS_PENDING;
}

// A query for a lower-power state: the requests stop here (the set that follows, to that state or
// back to D0, decides what comes next).
IO_WORKITEM_ROUTINE queryDownWork;
void queryDownWork(PDEVICE_OBJECT device, PVOID context) {
    Extension& board = *extensionOf(device);
    auto* irp = static_cast<PIRP>(context);
    PIO_WORKITEM item = takeWork(irp);
    setQueueState(board, kHold);
    waitIdle(board);
    passPowerDown(board, irp);
    IoFreeWorkItem(item);
}

NTSTATUS queryDevicePower(Extension& board, PIRP irp) {
    if (IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState == PowerDeviceD0)
        return passPowerDown(board, irp);
    IoMarkIrpPending(irp);
    if (!defer(board, irp, queryDownWork)) completePower(irp, STATUS_INSUFFICIENT_RESOURCES);
    return STATUS_PENDING;
}

// ---- system power

// The device request asked for on the way back of a system request completes it.
REQUEST_POWER_COMPLETE devicePowerDone;
void devicePowerDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK status) {
    auto& board = *static_cast<Extension*>(context);
    auto* systemIrp = static_cast<PIRP>(__atomic_exchange_n(&board.pendingSystemPower, nullptr, __ATOMIC_SEQ_CST));
    completePower(systemIrp, status->Status);
}

IO_COMPLETION_ROUTINE systemPowerPassed;
NTSTATUS systemPowerPassed(PDEVICE_OBJECT device, PIRP irp, PVOID) {
    Extension& board = *extensionOf(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (!NT_SUCCESS(irp->IoStatus.Status)) {
        PoStartNextPowerIrp(irp);
        return kContinueCompletion;
    }
    const bool working = stack->Parameters.Power.State.SystemState == PowerSystemWorking;
    POWER_STATE wanted;
    wanted.DeviceState = working ? PowerDeviceD0 : PowerDeviceD3;
    if (stack->MinorFunction == IRP_MN_SET_POWER && working) {
        // The system is back: its request completes at once, and the board follows.
        PoStartNextPowerIrp(irp);
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        PoRequestPowerIrp(board.physical, IRP_MN_SET_POWER, wanted, nullptr, nullptr, nullptr);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    __atomic_store_n(&board.pendingSystemPower, irp, __ATOMIC_SEQ_CST);
    const NTSTATUS requested =
        PoRequestPowerIrp(board.physical, stack->MinorFunction, wanted, devicePowerDone, &board, nullptr);
    if (requested == STATUS_PENDING) return STATUS_MORE_PROCESSING_REQUIRED;
    __atomic_store_n(&board.pendingSystemPower, static_cast<PIRP>(nullptr), __ATOMIC_SEQ_CST);
    irp->IoStatus.Status = requested;
    PoStartNextPowerIrp(irp);
    return kContinueCompletion;
}

NTSTATUS systemPower(Extension& board, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MinorFunction == IRP_MN_SET_POWER) {
        // The state first, then the count: a wake that sees the count unchanged and then a refusal
        // finds the sleeping state still set (see wake).
        const SYSTEM_POWER_STATE state = stack->Parameters.Power.State.SystemState;
        storeField(board.systemPower, state);
        if (state != PowerSystemWorking) __atomic_add_fetch(&board.sleeps, 1, __ATOMIC_SEQ_CST);
    }
    IoMarkIrpPending(irp);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, systemPowerPassed, nullptr, TRUE, TRUE, TRUE);
    PoCallDriver(board.lower, irp);
    return STATUS_PENDING;
}

// ---- wake

struct WakeWait {
    KEVENT done;
    NTSTATUS status;
};

REQUEST_POWER_COMPLETE wakeDone;
void wakeDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK status) {
    auto* wait = static_cast<WakeWait*>(context);
    wait->status = status->Status;
    KeSetEvent(&wait->done, IO_NO_INCREMENT, FALSE);
}

POWER_STATE d0() {
    POWER_STATE state;
    state.DeviceState = PowerDeviceD0;
    return state;
}

IO_WORKITEM_ROUTINE wakeWork;
void wakeWork(PDEVICE_OBJECT device, PVOID context) {
    PoRequestPowerIrp(extensionOf(device)->physical, IRP_MN_SET_POWER, d0(), nullptr, nullptr, nullptr);
    IoFreeWorkItem(static_cast<PIO_WORKITEM>(context));
}

}  // namespace

NTSTATUS wake(Extension& board) {
    // Read before the system state, so that a sleep that begins after the check below shows in it.
    const LONG sleeps = loadField(board.sleeps);
    if (!loadField(board.started) || loadField(board.systemPower) != PowerSystemWorking ||
        loadField(board.devicePower) == PowerDeviceD0)
        return STATUS_SUCCESS;
    if (KeGetCurrentIrql() > PASSIVE_LEVEL) {
        PIO_WORKITEM item = IoAllocateWorkItem(board.self);
        if (item == nullptr) return STATUS_INSUFFICIENT_RESOURCES;
        IoQueueWorkItem(item, wakeWork, DelayedWorkQueue, item);
        return STATUS_SUCCESS;
    }
    WakeWait wait{};
    KeInitializeEvent(&wait.done, NotificationEvent, FALSE);
    const NTSTATUS requested = PoRequestPowerIrp(board.physical, IRP_MN_SET_POWER, d0(), wakeDone, &wait, nullptr);
    if (requested != STATUS_PENDING) return requested;
    KeWaitForSingleObject(&wait.done, Executive, KernelMode, FALSE, nullptr);
    // Refused because the system began to sleep meanwhile: the request waits for the resume. The
    // sleep shows in the state while it lasts, and once resumed in the count.
    if (!NT_SUCCESS(wait.status) &&
        (loadField(board.systemPower) != PowerSystemWorking || loadField(board.sleeps) != sleeps))
        return STATUS_SUCCESS;
    return wait.status;
}

NTSTATUS dispatchPower(PDEVICE_OBJECT device, PIRP irp) {
    Extension& board = *extensionOf(device);
    if (loadField(board.removed)) return completePower(irp, STATUS_NO_SUCH_DEVICE);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const bool known = stack->MinorFunction == IRP_MN_SET_POWER || stack->MinorFunction == IRP_MN_QUERY_POWER;
    if (!loadField(board.started) || !known) return passPowerDown(board, irp);
    if (isSystem(stack)) return systemPower(board, irp);
    return stack->MinorFunction == IRP_MN_SET_POWER ? setDevicePower(board, irp) : queryDevicePower(board, irp);
}

}  // namespace ambrix
