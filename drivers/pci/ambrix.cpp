// The PCI board driver: one exclusive, buffered device per board named \Device\AMBRIX<i> with the
// link \DosDevices\AMBRIX<i+1>, its three memory ranges mapped at start, the board's control codes
// run one at a time under the board's transaction lock, and the multi-board registry values.
#include <cstdint>
#include <cstring>

#include "board.h"
#include "multi_card.h"

namespace ambrix {
namespace {

multicard::MultiCardInformation cards;

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// "\Device\AMBRIX" or "\DosDevices\AMBRIX" followed by a decimal number 0..9.
struct NumberedName {
    WCHAR text[32];
    UNICODE_STRING string;
    NumberedName(const WCHAR* prefix, ULONG number) {
        size_t n = 0;
        for (; prefix[n] != L'\0'; ++n) text[n] = prefix[n];
        text[n++] = static_cast<WCHAR>(L'0' + number);
        text[n] = L'\0';
        RtlInitUnicodeString(&string, text);
    }
};
NumberedName linkName(ULONG index) { return NumberedName(L"\\DosDevices\\AMBRIX", index + 1); }

// ---- requests in progress: the count and an event signalled whenever it is zero.
void beginRequest(Extension* ext) {
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    if (ext->inProgress++ == 0) KeClearEvent(&ext->stopEvent);
    KeReleaseSpinLock(&ext->heldLock, irql);
}
void endRequest(Extension* ext) {
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    if (--ext->inProgress == 0) KeSetEvent(&ext->stopEvent, IO_NO_INCREMENT, FALSE);
    KeReleaseSpinLock(&ext->heldLock, irql);
}
void waitIdle(Extension* ext) { KeWaitForSingleObject(&ext->stopEvent, Executive, KernelMode, FALSE, nullptr); }

// ---- the hold queue
DRIVER_CANCEL cancelHeld;
void cancelHeld(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    KeReleaseSpinLock(&ext->heldLock, irql);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    complete(irp, STATUS_CANCELLED, 0);
}

NTSTATUS hold(Extension* ext, PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    IoMarkIrpPending(irp);
    InsertTailList(&ext->held, &irp->Tail.Overlay.ListEntry);
    IoSetCancelRoutine(irp, cancelHeld);
    if (__atomic_load_n(&irp->Cancel, __ATOMIC_SEQ_CST) && IoSetCancelRoutine(irp, nullptr) != nullptr) {
        RemoveEntryList(&irp->Tail.Overlay.ListEntry);
        KeReleaseSpinLock(&ext->heldLock, irql);
        complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    KeReleaseSpinLock(&ext->heldLock, irql);
    return STATUS_PENDING;
}

// Takes the next held request that is not being cancelled, or nullptr.
PIRP takeHeld(Extension* ext) {
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    PIRP taken = nullptr;
    while (taken == nullptr && !IsListEmpty(&ext->held)) {
        PIRP irp = CONTAINING_RECORD(RemoveHeadList(&ext->held), IRP, Tail.Overlay.ListEntry);
        if (IoSetCancelRoutine(irp, nullptr) == nullptr) {
            // Being cancelled: its cancel routine completes it and needs a list entry to leave.
            InitializeListHead(&irp->Tail.Overlay.ListEntry);
            continue;
        }
        taken = irp;
    }
    KeReleaseSpinLock(&ext->heldLock, irql);
    return taken;
}

void failHeld(Extension* ext) {
    while (PIRP irp = takeHeld(ext)) complete(irp, STATUS_NO_SUCH_DEVICE, 0);
}

NTSTATUS runRequest(Extension* ext, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const auto& p = stack->Parameters.DeviceIoControl;
    KeWaitForSingleObject(&ext->transactionLock, Executive, KernelMode, FALSE, nullptr);
    const fullfip2::Completion c = runControl(*ext, p.IoControlCode, p.InputBufferLength, p.OutputBufferLength,
                                              static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer));
    KeReleaseMutex(&ext->transactionLock, FALSE);
    return complete(irp, fullfip2::completionStatus(c.status), c.information);
}

void runHeld(Extension* ext) {
    while (PIRP irp = takeHeld(ext)) {
        beginRequest(ext);
        runRequest(ext, irp);
        endRequest(ext);
    }
}

// ---- dispatch routines
DRIVER_DISPATCH dispatchCreateClose;
NTSTATUS dispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    PAGED_CODE();
    Extension* ext = extensionOf(device);
    switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
    case IRP_MJ_CREATE:
        cards.update(ext->index, multicard::Op::used);
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLOSE:
        cards.update(ext->index, multicard::Op::unused);
        return complete(irp, STATUS_SUCCESS, 0);
    default:
        return complete(irp, STATUS_NOT_IMPLEMENTED, 0);
    }
}

DRIVER_DISPATCH dispatchControl;
NTSTATUS dispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    beginRequest(ext);
    NTSTATUS status;
    if (ext->removed) {
        status = complete(irp, STATUS_NO_SUCH_DEVICE, 0);
    } else {
        switch (ext->queueState) {
        case kHold:
            // A held request is not in progress: it counts again when it runs.
            status = hold(ext, irp);
            break;
        case kFail:
            status = complete(irp, STATUS_NO_SUCH_DEVICE, 0);
            break;
        default:
            status = runRequest(ext, irp);
            break;
        }
    }
    endRequest(ext);
    return status;
}

IO_COMPLETION_ROUTINE signalEvent;
NTSTATUS signalEvent(PDEVICE_OBJECT, PIRP, PVOID context) {
    KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

NTSTATUS forwardAndWait(Extension* ext, PIRP irp) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, signalEvent, &done, TRUE, TRUE, TRUE);
    if (IoCallDriver(ext->lower, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    return irp->IoStatus.Status;
}

NTSTATUS passDown(Extension* ext, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->lower, irp);
}

// The subsystem vendor and subsystem identifiers at 0x2C of the configuration space; 0 on failure.
void readSubsystemIds(Extension* ext) {
    ext->subsystemVendor = ext->subsystem = 0;
    KEVENT done;
    IO_STATUS_BLOCK status{};
    UCHAR config[4] = {};
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(ext->lower);
    PIRP irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, top, nullptr, 0, nullptr, &done, &status);
    if (irp != nullptr) {
        irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MinorFunction = IRP_MN_READ_CONFIG;
        next->Parameters.ReadWriteConfig.WhichSpace = PCI_WHICHSPACE_CONFIG;
        next->Parameters.ReadWriteConfig.Buffer = config;
        next->Parameters.ReadWriteConfig.Offset = 0x2C;
        next->Parameters.ReadWriteConfig.Length = 4;
        // The request refers to this frame, so it is waited for to the end.
        NTSTATUS s = IoCallDriver(top, irp);
        if (s == STATUS_PENDING) {
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
            s = status.Status;
        }
        if (NT_SUCCESS(s)) {
            ext->subsystemVendor = static_cast<USHORT>(config[0] | (config[1] << 8));
            ext->subsystem = static_cast<USHORT>(config[2] | (config[3] << 8));
        }
    }
    ObDereferenceObject(top);
}

void unmapRanges(Extension* ext) {
    for (MappedRange& r : ext->ranges) {
        if (!r.mapped) continue;
        MmUnmapIoSpace(const_cast<UCHAR*>(r.base), r.length);
        r.mapped = FALSE;
        r.base = nullptr;
    }
}

// Unmaps the ranges, deletes the link and marks the board absent; once per device.
void releaseHardware(Extension* ext) {
    unmapRanges(ext);
    if (ext->released) return;
    ext->released = TRUE;
    NumberedName link = linkName(ext->index);
    IoDeleteSymbolicLink(&link.string);
    cards.update(ext->index, multicard::Op::remove);
}

// The lists are declared with one element and hold Count of them: index them through plain
// addresses, so that the compiler does not take the declared bound for the real one.
template <typename T>
const T& nth(const T* first, ULONG i) {
    return *reinterpret_cast<const T*>(reinterpret_cast<std::uintptr_t>(first) + std::uintptr_t{i} * sizeof(T));
}

NTSTATUS mapRanges(Extension* ext, PCM_RESOURCE_LIST resources) {
    int next = 0;
    // The platform lists a PCI function's resources in one full descriptor.
    const CM_PARTIAL_RESOURCE_LIST& list = resources->List[0].PartialResourceList;
    for (ULONG i = 0; resources->Count > 0 && i < list.Count && next < 3; ++i) {
        const CM_PARTIAL_RESOURCE_DESCRIPTOR& d = nth(list.PartialDescriptors, i);
        if (d.Type != CmResourceTypeMemory) continue;
        MappedRange& r = ext->ranges[next++];
        r.length = d.u.Memory.Length;
        // The descriptors are packed to 4 bytes: copy the 8-byte address out bytewise.
        std::memcpy(&r.physical, reinterpret_cast<const UCHAR*>(&d.u.Memory.Start), sizeof r.physical);
        r.base = static_cast<volatile UCHAR*>(MmMapIoSpace(r.physical, r.length, MmNonCached));
        if (r.base == nullptr) {
            unmapRanges(ext);
            return STATUS_NO_MEMORY;
        }
        r.mapped = TRUE;
    }
    // The command layer reaches ranges 1 and 2 without checks: a board short of them is refused.
    if (next < 3) {
        unmapRanges(ext);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return STATUS_SUCCESS;
}

NTSTATUS start(Extension* ext, PIRP irp) {
    NTSTATUS status = forwardAndWait(ext, irp);
    if (NT_SUCCESS(status)) {
        PCM_RESOURCE_LIST resources =
            IoGetCurrentIrpStackLocation(irp)->Parameters.StartDevice.AllocatedResourcesTranslated;
        if (ext->removed) status = STATUS_DELETE_PENDING;
        else if (resources == nullptr) status = STATUS_INSUFFICIENT_RESOURCES;
        else status = mapRanges(ext, resources);
    }
    if (NT_SUCCESS(status)) {
        auto* interrupts = reinterpret_cast<volatile ULONG*>(ext->ranges[0].base + bridge::kInterruptControl);
        WRITE_REGISTER_ULONG(interrupts, READ_REGISTER_ULONG(interrupts) & ~bridge::kInterruptEnable);
        readSubsystemIds(ext);
        POWER_STATE power;
        power.DeviceState = PowerDeviceD0;
        ext->devicePower = PowerDeviceD0;
        PoSetPowerState(ext->self, DevicePowerState, power);
        ext->started = TRUE;
        ext->removed = FALSE;
        ext->cardConf = (ext->subsystemVendor != 0 || ext->subsystem != 0)
                            ? READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(ext->ranges[0].base +
                                                                                    bridge::kConfigurationWord))
                            : 0x10000;
        ext->queueState = kProcess;
    }
    complete(irp, status, 0);
    if (NT_SUCCESS(status)) runHeld(ext);
    return status;
}

// Stops taking new requests and completes the held ones; the device is gone.
void stopForRemoval(Extension* ext) {
    ext->removed = TRUE;
    ext->started = FALSE;
    ext->queueState = kFail;
    failHeld(ext);
    waitIdle(ext);
    releaseHardware(ext);
}

DRIVER_DISPATCH dispatchPnp;
NTSTATUS dispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
        return start(ext, irp);
    case IRP_MN_QUERY_REMOVE_DEVICE:
        ext->queueState = kHold;
        waitIdle(ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return passDown(ext, irp);
    case IRP_MN_CANCEL_REMOVE_DEVICE: {
        const NTSTATUS status = forwardAndWait(ext, irp);
        if (NT_SUCCESS(status) && ext->queueState == kHold) {
            ext->queueState = kProcess;
            runHeld(ext);
        }
        return complete(irp, status, irp->IoStatus.Information);
    }
    case IRP_MN_QUERY_STOP_DEVICE:
        return complete(irp, STATUS_UNSUCCESSFUL, 0);
    case IRP_MN_SURPRISE_REMOVAL:
        stopForRemoval(ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return passDown(ext, irp);
    case IRP_MN_REMOVE_DEVICE: {
        stopForRemoval(ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        const NTSTATUS status = passDown(ext, irp);
        IoDetachDevice(ext->lower);
        IoDeleteDevice(device);
        return status;
    }
    default:
        return passDown(ext, irp);
    }
}

// A system set-power request becomes a device set-power request (D0 working, D3 sleeping) whose
// completion completes the system request.
REQUEST_POWER_COMPLETE devicePowerDone;
void devicePowerDone(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID context, PIO_STATUS_BLOCK status) {
    auto* systemIrp = static_cast<PIRP>(context);
    PoStartNextPowerIrp(systemIrp);
    complete(systemIrp, status->Status, 0);
}

IO_COMPLETION_ROUTINE systemPowerDone;
NTSTATUS systemPowerDone(PDEVICE_OBJECT device, PIRP irp, PVOID) {
    Extension* ext = extensionOf(device);
    POWER_STATE power;
    power.DeviceState = ext->systemPower == PowerSystemWorking ? PowerDeviceD0 : PowerDeviceD3;
    if (PoRequestPowerIrp(ext->physical, IRP_MN_SET_POWER, power, devicePowerDone, irp, nullptr) != STATUS_PENDING)
        return STATUS_SUCCESS;
    return STATUS_MORE_PROCESSING_REQUIRED;
}

DRIVER_DISPATCH dispatchPower;
NTSTATUS dispatchPower(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (ext->removed) {
        PoStartNextPowerIrp(irp);
        return complete(irp, STATUS_NO_SUCH_DEVICE, 0);
    }
    if (ext->started && stack->MinorFunction == IRP_MN_SET_POWER) {
        if (stack->Parameters.Power.Type == SystemPowerState) {
            ext->systemPower = stack->Parameters.Power.State.SystemState;
            IoMarkIrpPending(irp);
            IoCopyCurrentIrpStackLocationToNext(irp);
            IoSetCompletionRoutine(irp, systemPowerDone, nullptr, TRUE, TRUE, TRUE);
            PoCallDriver(ext->lower, irp);
            return STATUS_PENDING;
        }
        const DEVICE_POWER_STATE wanted = stack->Parameters.Power.State.DeviceState;
        if (wanted == PowerDeviceD0 && ext->systemPower != PowerSystemWorking) {
            PoStartNextPowerIrp(irp);
            return complete(irp, STATUS_UNSUCCESSFUL, 0);
        }
        const bool leaving = ext->devicePower == PowerDeviceD0 && wanted != PowerDeviceD0;
        if (leaving) {
            ext->queueState = kHold;
            waitIdle(ext);
        }
        ext->devicePower = wanted;
        PoSetPowerState(device, DevicePowerState, stack->Parameters.Power.State);
        if (wanted == PowerDeviceD0 && ext->queueState == kHold) {
            ext->queueState = kProcess;
            runHeld(ext);
        }
    }
    PoStartNextPowerIrp(irp);
    return passDown(ext, irp);
}

DRIVER_DISPATCH dispatchSystemControl;
NTSTATUS dispatchSystemControl(PDEVICE_OBJECT device, PIRP irp) { return passDown(extensionOf(device), irp); }

DRIVER_ADD_DEVICE addDevice;
NTSTATUS addDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical) {
    PAGED_CODE();
    ULONG index = 0;
    NTSTATUS written = STATUS_SUCCESS;
    if (const NTSTATUS claimed = cards.claimFreeIndex(&index, &written); !NT_SUCCESS(claimed)) return claimed;
    // A registry that refuses the values does not fail the device: it exists and keeps its index.
    if (!NT_SUCCESS(written))
        DbgPrint("Cannot write information about multi-card in registry (0x%X)\n", static_cast<unsigned>(written));
    NumberedName name(L"\\Device\\AMBRIX", index);
    NumberedName link = linkName(index);
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), &name.string, kDeviceType, 0, TRUE, &device);
    if (NT_SUCCESS(status)) {
        status = IoCreateSymbolicLink(&link.string, &name.string);
        if (!NT_SUCCESS(status)) IoDeleteDevice(device);
    }
    if (!NT_SUCCESS(status)) {
        cards.update(index, multicard::Op::remove);
        return status;
    }
    Extension* ext = extensionOf(device);
    std::memset(static_cast<void*>(ext), 0, sizeof *ext);
    ext->deviceType = kDeviceType;
    ext->self = device;
    ext->physical = physical;
    ext->lower = IoAttachDeviceToDeviceStack(device, physical);
    if (ext->lower == nullptr) {
        IoDeleteSymbolicLink(&link.string);
        IoDeleteDevice(device);
        cards.update(index, multicard::Op::remove);
        return STATUS_NO_SUCH_DEVICE;
    }
    device->Flags |= DO_BUFFERED_IO | DO_POWER_PAGABLE;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    ext->index = index;
    KeInitializeEvent(&ext->removeEvent, NotificationEvent, FALSE);
    KeInitializeEvent(&ext->stopEvent, NotificationEvent, TRUE);
    KeInitializeMutex(&ext->transactionLock, 0);
    ext->systemPower = PowerSystemWorking;
    ext->devicePower = PowerDeviceD3;
    ext->queueState = kHold;
    KeInitializeSpinLock(&ext->heldLock);
    InitializeListHead(&ext->held);
    ULONG size = 0;
    if (IoGetDeviceProperty(physical, DevicePropertyUINumber, 0, nullptr, &size) == STATUS_BUFFER_TOO_SMALL &&
        size == sizeof(ULONG)) {
        ULONG slot = 0;
        if (NT_SUCCESS(IoGetDeviceProperty(physical, DevicePropertyUINumber, size, &slot, &size))) ext->slot = slot;
    }
    return STATUS_SUCCESS;
}

DRIVER_UNLOAD unload;
void unload(PDRIVER_OBJECT) {
    cards.reset();
    cards.forgetPath();
}

}  // namespace
}  // namespace ambrix

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    using namespace ambrix;
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
    driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = dispatchPower;
    driver->MajorFunction[IRP_MJ_SYSTEM_CONTROL] = dispatchSystemControl;
    driver->DriverExtension->AddDevice = addDevice;
    driver->DriverUnload = unload;
    if (!NT_SUCCESS(cards.setParametersPath(registryPath))) {
        DbgPrint("<-- DriverEntry cannot allocate pool for registry path\n");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return cards.reset();
}
