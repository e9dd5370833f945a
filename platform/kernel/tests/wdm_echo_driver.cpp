// A small WDM driver for the kernel stand-in's tests: exclusive named devices with symbolic
// links, buffered echo, pended and held requests (cancel routines under the cancel lock), a start
// that reads configuration space and maps its memory range, removal, and power requests.
#include <cstring>

#include "echo_ioctl.h"
#include "kernel/wdm.h"

namespace {

struct Extension {
    PDEVICE_OBJECT self;
    PDEVICE_OBJECT lower;
    PDEVICE_OBJECT physical;
    ULONG index;
    ULONG uiNumber;
    UCHAR config[4];
    volatile UCHAR* registers;
    ULONG registersLength;
    BOOLEAN removed;
    DEVICE_POWER_STATE power;
    KSPIN_LOCK heldLock;
    LIST_ENTRY held;
};

LONG heldCount = 0;
LONG boards = 0;
WCHAR parametersPath[256];

Extension* extensionOf(PDEVICE_OBJECT device) { return static_cast<Extension*>(device->DeviceExtension); }

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void writeBoardCount() {
    ULONG count = static_cast<ULONG>(boards);
    RtlWriteRegistryValue(RTL_REGISTRY_ABSOLUTE, parametersPath, L"Boards", REG_DWORD, &count, sizeof count);
}

DRIVER_CANCEL cancelHeld;
void cancelHeld(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    InterlockedDecrement(&heldCount);
    KeReleaseSpinLock(&ext->heldLock, irql);
    IoReleaseCancelSpinLock(irp->CancelIrql);
    complete(irp, STATUS_CANCELLED, 0);
}

void failHeld(Extension* ext) {
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    while (!IsListEmpty(&ext->held)) {
        PIRP irp = CONTAINING_RECORD(RemoveHeadList(&ext->held), IRP, Tail.Overlay.ListEntry);
        if (IoSetCancelRoutine(irp, nullptr) == nullptr) {
            // Being cancelled: the cancel routine completes it; give its entry back a list to leave.
            InitializeListHead(&irp->Tail.Overlay.ListEntry);
            continue;
        }
        InterlockedDecrement(&heldCount);
        KeReleaseSpinLock(&ext->heldLock, irql);
        complete(irp, STATUS_NO_SUCH_DEVICE, 0);
        KeAcquireSpinLock(&ext->heldLock, &irql);
    }
    KeReleaseSpinLock(&ext->heldLock, irql);
}

NTSTATUS hold(Extension* ext, PIRP irp) {
    KIRQL irql;
    KeAcquireSpinLock(&ext->heldLock, &irql);
    IoMarkIrpPending(irp);
    InsertTailList(&ext->held, &irp->Tail.Overlay.ListEntry);
    InterlockedIncrement(&heldCount);
    IoSetCancelRoutine(irp, cancelHeld);
    if (__atomic_load_n(&irp->Cancel, __ATOMIC_SEQ_CST) && IoSetCancelRoutine(irp, nullptr) != nullptr) {
        RemoveEntryList(&irp->Tail.Overlay.ListEntry);
        InterlockedDecrement(&heldCount);
        KeReleaseSpinLock(&ext->heldLock, irql);
        complete(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    KeReleaseSpinLock(&ext->heldLock, irql);
    return STATUS_PENDING;
}

void reverseInPlace(PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    auto* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    const ULONG n = stack->Parameters.DeviceIoControl.InputBufferLength;
    for (ULONG i = 0; i < n / 2; ++i) {
        const UCHAR t = buffer[i];
        buffer[i] = buffer[n - 1 - i];
        buffer[n - 1 - i] = t;
    }
}

IO_WORKITEM_ROUTINE completePended;
void completePended(PDEVICE_OBJECT, PVOID context) {
    auto* irp = static_cast<PIRP>(context);
    reverseInPlace(irp);
    PIO_WORKITEM item = static_cast<PIO_WORKITEM>(irp->Tail.Overlay.DriverContext[0]);
    complete(irp, STATUS_SUCCESS, IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength);
    IoFreeWorkItem(item);
}

DRIVER_DISPATCH dispatchCreateClose;
NTSTATUS dispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
    PAGED_CODE();
    return complete(irp, extensionOf(device)->removed ? STATUS_NO_SUCH_DEVICE : STATUS_SUCCESS, 0);
}

DRIVER_DISPATCH dispatchControl;
NTSTATUS dispatchControl(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    if (ext->removed) return complete(irp, STATUS_NO_SUCH_DEVICE, 0);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const ULONG in = stack->Parameters.DeviceIoControl.InputBufferLength;
    const ULONG out = stack->Parameters.DeviceIoControl.OutputBufferLength;
    auto* buffer = static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer);
    switch (stack->Parameters.DeviceIoControl.IoControlCode) {
    case echo::IOCTL_ECHO:
        reverseInPlace(irp);
        return complete(irp, STATUS_SUCCESS, out);
    case echo::IOCTL_STATUS: {
        if (in < sizeof(NTSTATUS) || out < 2) return complete(irp, STATUS_INVALID_PARAMETER, 0);
        NTSTATUS status;
        std::memcpy(&status, buffer, sizeof status);
        buffer[0] = 0xAB;
        buffer[1] = 0xCD;
        return complete(irp, status, 2);
    }
    case echo::IOCTL_PEND: {
        PIO_WORKITEM item = IoAllocateWorkItem(device);
        if (item == nullptr) return complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
        irp->Tail.Overlay.DriverContext[0] = item;
        IoMarkIrpPending(irp);
        IoQueueWorkItem(item, completePended, DelayedWorkQueue, irp);
        return STATUS_PENDING;
    }
    case echo::IOCTL_HOLD:
        return hold(ext, irp);
    case echo::IOCTL_REGISTER: {
        ULONG offset;
        if (in != 4 || out != 4) return complete(irp, STATUS_INVALID_PARAMETER, 0);
        std::memcpy(&offset, buffer, 4);
        const ULONG value = READ_REGISTER_ULONG(reinterpret_cast<volatile ULONG*>(ext->registers + offset));
        WRITE_REGISTER_UCHAR(ext->registers + offset, 0x5A);
        std::memcpy(buffer, &value, 4);
        return complete(irp, STATUS_SUCCESS, 4);
    }
    case echo::IOCTL_CONFIG:
        if (out < 8) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        std::memcpy(buffer, &ext->uiNumber, 4);
        std::memcpy(buffer + 4, ext->config, 4);
        return complete(irp, STATUS_SUCCESS, 8);
    case echo::IOCTL_POWER: {
        if (out < 4) return complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
        const ULONG power = ext->power;
        std::memcpy(buffer, &power, 4);
        return complete(irp, STATUS_SUCCESS, 4);
    }
    default:
        return complete(irp, STATUS_NOT_IMPLEMENTED, 0);
    }
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

void readConfig(Extension* ext) {
    KEVENT done;
    IO_STATUS_BLOCK status;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(ext->lower);
    PIRP irp = IoBuildSynchronousFsdRequest(IRP_MJ_PNP, top, nullptr, 0, nullptr, &done, &status);
    if (irp != nullptr) {
        irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
        PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
        next->MinorFunction = IRP_MN_READ_CONFIG;
        next->Parameters.ReadWriteConfig.WhichSpace = PCI_WHICHSPACE_CONFIG;
        next->Parameters.ReadWriteConfig.Buffer = ext->config;
        next->Parameters.ReadWriteConfig.Offset = 0x2C;
        next->Parameters.ReadWriteConfig.Length = 4;
        LARGE_INTEGER timeout;
        timeout.QuadPart = -10000000;  // 1 s
        if (IoCallDriver(top, irp) == STATUS_PENDING)
            KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, &timeout);
    }
    ObDereferenceObject(top);
}

NTSTATUS start(Extension* ext, PIRP irp) {
    NTSTATUS status = forwardAndWait(ext, irp);
    if (NT_SUCCESS(status)) {
        PCM_RESOURCE_LIST resources = IoGetCurrentIrpStackLocation(irp)->Parameters.StartDevice.AllocatedResourcesTranslated;
        if (resources == nullptr) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        } else {
            const CM_PARTIAL_RESOURCE_LIST& list = resources->List[0].PartialResourceList;
            for (ULONG i = 0; i < list.Count && ext->registers == nullptr; ++i) {
                const CM_PARTIAL_RESOURCE_DESCRIPTOR& d = list.PartialDescriptors[i];
                if (d.Type != CmResourceTypeMemory) continue;
                ext->registers = static_cast<volatile UCHAR*>(MmMapIoSpace(d.u.Memory.Start, d.u.Memory.Length, MmNonCached));
                ext->registersLength = d.u.Memory.Length;
                if (ext->registers == nullptr) status = STATUS_NO_MEMORY;
            }
            readConfig(ext);
        }
    }
    if (NT_SUCCESS(status)) {
        POWER_STATE power;
        power.DeviceState = PowerDeviceD0;
        PoSetPowerState(ext->self, DevicePowerState, power);
        ext->power = PowerDeviceD0;
    }
    return complete(irp, status, 0);
}

void releaseHardware(Extension* ext) {
    if (ext->registers) MmUnmapIoSpace(const_cast<UCHAR*>(ext->registers), ext->registersLength);
    ext->registers = nullptr;
}

DRIVER_DISPATCH dispatchPnp;
NTSTATUS dispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
        return start(ext, irp);
    case IRP_MN_SURPRISE_REMOVAL:
        ext->removed = TRUE;
        failHeld(ext);
        releaseHardware(ext);
        irp->IoStatus.Status = STATUS_SUCCESS;
        break;
    case IRP_MN_REMOVE_DEVICE: {
        ext->removed = TRUE;
        failHeld(ext);
        releaseHardware(ext);
        WCHAR linkText[32] = L"\\DosDevices\\QKECHO0";
        linkText[18] = static_cast<WCHAR>(L'1' + ext->index);
        UNICODE_STRING link;
        RtlInitUnicodeString(&link, linkText);
        IoDeleteSymbolicLink(&link);
        irp->IoStatus.Status = STATUS_SUCCESS;
        IoSkipCurrentIrpStackLocation(irp);
        const NTSTATUS status = IoCallDriver(ext->lower, irp);
        IoDetachDevice(ext->lower);
        IoDeleteDevice(device);
        InterlockedDecrement(&boards);
        writeBoardCount();
        return status;
    }
    default:
        break;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->lower, irp);
}

// A system set-power request becomes a device set-power request (D0 working, D3 sleeping) whose
// completion completes the system request, as a power policy owner does.
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
    power.DeviceState = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.SystemState == PowerSystemWorking
                            ? PowerDeviceD0
                            : PowerDeviceD3;
    if (PoRequestPowerIrp(ext->physical, IRP_MN_SET_POWER, power, devicePowerDone, irp, nullptr) != STATUS_PENDING)
        return STATUS_SUCCESS;
    return STATUS_MORE_PROCESSING_REQUIRED;
}

DRIVER_DISPATCH dispatchPower;
NTSTATUS dispatchPower(PDEVICE_OBJECT device, PIRP irp) {
    Extension* ext = extensionOf(device);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MinorFunction == IRP_MN_SET_POWER && stack->Parameters.Power.Type == SystemPowerState) {
        IoMarkIrpPending(irp);
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, systemPowerDone, nullptr, TRUE, TRUE, TRUE);
        PoCallDriver(ext->lower, irp);
        return STATUS_PENDING;
    }
    if (stack->MinorFunction == IRP_MN_SET_POWER && stack->Parameters.Power.Type == DevicePowerState) {
        ext->power = stack->Parameters.Power.State.DeviceState;
        PoSetPowerState(device, DevicePowerState, stack->Parameters.Power.State);
    }
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(ext->lower, irp);
}

DRIVER_ADD_DEVICE addDevice;
NTSTATUS addDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT physical) {
    PAGED_CODE();
    const ULONG index = static_cast<ULONG>(InterlockedIncrement(&boards) - 1);
    WCHAR nameText[32] = L"\\Device\\QKECHO0";
    nameText[14] = static_cast<WCHAR>(L'0' + index);
    WCHAR linkText[32] = L"\\DosDevices\\QKECHO0";
    linkText[18] = static_cast<WCHAR>(L'1' + index);
    UNICODE_STRING name, link;
    RtlInitUnicodeString(&name, nameText);
    RtlInitUnicodeString(&link, linkText);
    PDEVICE_OBJECT device;
    NTSTATUS status = IoCreateDevice(driver, sizeof(Extension), &name, 0x22, 0, TRUE, &device);
    if (NT_SUCCESS(status)) status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        InterlockedDecrement(&boards);
        return status;
    }
    Extension* ext = extensionOf(device);
    ext->self = device;
    ext->physical = physical;
    ext->index = index;
    ext->power = PowerDeviceD3;
    KeInitializeSpinLock(&ext->heldLock);
    InitializeListHead(&ext->held);
    ext->lower = IoAttachDeviceToDeviceStack(device, physical);
    ULONG size = 0;
    if (IoGetDeviceProperty(physical, DevicePropertyUINumber, 0, nullptr, &size) == STATUS_BUFFER_TOO_SMALL)
        IoGetDeviceProperty(physical, DevicePropertyUINumber, size, &ext->uiNumber, &size);
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    writeBoardCount();
    return STATUS_SUCCESS;
}

DRIVER_UNLOAD unload;
void unload(PDRIVER_OBJECT) { boards = 0; }

}  // namespace

extern "C" long EchoHeldCount() { return InterlockedExchangeAdd(&heldCount, 0); }

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath) {
    driver->MajorFunction[IRP_MJ_CREATE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = dispatchCreateClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = dispatchControl;
    driver->MajorFunction[IRP_MJ_PNP] = dispatchPnp;
    driver->MajorFunction[IRP_MJ_POWER] = dispatchPower;
    driver->DriverExtension->AddDevice = addDevice;
    driver->DriverUnload = unload;

    UNICODE_STRING path = {0, sizeof parametersPath - sizeof(WCHAR), parametersPath};
    RtlCopyUnicodeString(&path, registryPath);
    if (!NT_SUCCESS(RtlAppendUnicodeToString(&path, L"\\Parameters"))) return STATUS_INSUFFICIENT_RESOURCES;
    parametersPath[path.Length / sizeof(WCHAR)] = L'\0';
    NTSTATUS status = RtlCheckRegistryKey(RTL_REGISTRY_ABSOLUTE, parametersPath);
    if (!NT_SUCCESS(status)) status = RtlCreateRegistryKey(RTL_REGISTRY_ABSOLUTE, parametersPath);
    return status;
}
