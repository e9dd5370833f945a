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

// ---- dispatch routines
DRIVER_DISPATCH dispatchCreateClose;
NTSTATUS dispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    PAGED_CODE();
    Extension* ext = extensionOf(device);
    switch (IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
    case IRP_MJ_CREATE:
        cards.update(ext->index, multicard::Op::used);
        return completeRequest(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLOSE:
        cards.update(ext->index, multicard::Op::unused);
        return completeRequest(irp, STATUS_SUCCESS, 0);
    default:
        return completeRequest(irp, STATUS_NOT_IMPLEMENTED, 0);
    }
}

DRIVER_DISPATCH dispatchControl;
NTSTATUS dispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    Extension& board = *extensionOf(device);
    if (const NTSTATUS woken = wake(board); !NT_SUCCESS(woken)) return completeRequest(irp, woken, 0);
    beginRequest(board);
    // A held request is not in progress: it counts again when it runs.
    const NTSTATUS status =
        loadField(board.removed) ? completeRequest(irp, STATUS_NO_SUCH_DEVICE, 0) : admitControl(board, irp);
    endRequest(board);
    // Held because the board left D0 after the wake above: it is woken for the request, which runs
    // once it is back (out of the count first, since leaving D0 waits for the count to drop).
    if (status == STATUS_PENDING) wake(board);
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
        if (loadField(ext->removed)) status = STATUS_DELETE_PENDING;
        else if (resources == nullptr) status = STATUS_INSUFFICIENT_RESOURCES;
        else status = mapRanges(ext, resources);
    }
    if (NT_SUCCESS(status)) {
        auto* interrupts = reinterpret_cast<volatile ULONG*>(ext->ranges[0].base + bridge::kInterruptControl);
        WRITE_REGISTER_ULONG(interrupts, READ_REGISTER_ULONG(interrupts) & ~bridge::kInterruptEnable);
        readSubsystemIds(ext);
        POWER_STATE power;
        power.DeviceState = PowerDeviceD0;
        storeField(ext->devicePower, PowerDeviceD0);
        PoSetPowerState(ext->self, DevicePowerState, power);
        storeField(ext->started, BOOLEAN{TRUE});
        storeField(ext->removed, BOOLEAN{FALSE});
        ext->cardConf = (ext->subsystemVendor != 0 || ext->subsystem != 0)
                            ? READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(ext->ranges[0].base +
                                                                                    bridge::kConfigurationWord))
                            : 0x10000;
        setQueueState(*ext, kProcess);
    }
    completeRequest(irp, status, 0);
    if (NT_SUCCESS(status)) runHeld(*ext);
    return status;
}

// Stops taking new requests and completes the held ones; the device is gone.
void stopForRemoval(Extension* ext) {
    storeField(ext->removed, BOOLEAN{TRUE});
    storeField(ext->started, BOOLEAN{FALSE});
    setQueueState(*ext, kFail);
    failHeld(*ext);
    waitIdle(*ext);
    releaseHardware(ext);
}

DRIVER_DISPATCH dispatchPnp;
NTSTATUS dispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    const UCHAR minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    // Every PnP request finds the board in D0, but a board surprise-removed may be gone already.
    if (minor != IRP_MN_SURPRISE_REMOVAL) wake(*ext);
    switch (minor) {
    case IRP_MN_START_DEVICE:
        return start(ext, irp);
    case IRP_MN_QUERY_REMOVE_DEVICE:
        setQueueState(*ext, kHold);
        waitIdle(*ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return passDown(*ext, irp);
    case IRP_MN_CANCEL_REMOVE_DEVICE: {
        const NTSTATUS status = forwardAndWait(ext, irp);
        if (NT_SUCCESS(status) && loadField(ext->queueState) == kHold) {
            setQueueState(*ext, kProcess);
            runHeld(*ext);
        }
        return completeRequest(irp, status, irp->IoStatus.Information);
    }
    case IRP_MN_QUERY_STOP_DEVICE:
        return completeRequest(irp, STATUS_UNSUCCESSFUL, 0);
    case IRP_MN_SURPRISE_REMOVAL:
        stopForRemoval(ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return passDown(*ext, irp);
    case IRP_MN_REMOVE_DEVICE: {
        stopForRemoval(ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        const NTSTATUS status = passDown(*ext, irp);
        IoDetachDevice(ext->lower);
        IoDeleteDevice(device);
        return status;
    }
    default:
        return passDown(*ext, irp);
    }
}

DRIVER_DISPATCH dispatchSystemControl;
NTSTATUS dispatchSystemControl(PDEVICE_OBJECT device, PIRP irp) { return passDown(*extensionOf(device), irp); }

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
