// Framework devices: creation, device interfaces, file objects, and the framework's handling of
// the PnP, power and I/O requests that reach a framework driver.
#include "wdf_internal.h"

namespace qk::wdf {
namespace {

using kernel::record;

WDFDEVICE deviceOf(PDEVICE_OBJECT fdo) {
    if (fdo->DeviceExtension == nullptr || record(fdo).board) return nullptr;  // not a framework device
    return *static_cast<WDFDEVICE*>(fdo->DeviceExtension);
}

void freeDevice(PDEVICE_OBJECT fdo) { delete *static_cast<WDFDEVICE*>(fdo->DeviceExtension); }

NTSTATUS completeIrp(PIRP irp, NTSTATUS status, ULONG_PTR information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS passDown(WDFDEVICE device, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(device->lower, irp);
}

NTSTATUS signalDone(PDEVICE_OBJECT, PIRP, PVOID context) {
    KeSetEvent(static_cast<PKEVENT>(context), IO_NO_INCREMENT, FALSE);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

// Sends the IRP down and waits until the lower drivers have completed it; the IRP is ours again.
NTSTATUS forwardAndWait(WDFDEVICE device, PIRP irp) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, signalDone, &done, TRUE, TRUE, TRUE);
    IoCallDriver(device->lower, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    return irp->IoStatus.Status;
}

void setInterfaces(WDFDEVICE device, bool enable) {
    for (auto& i : device->interfaces) IoSetDeviceInterfaceState(&i.link, enable);
}

void setDevicePower(WDFDEVICE device, DEVICE_POWER_STATE state) {
    POWER_STATE power;
    power.DeviceState = state;
    PoSetPowerState(device->fdo, DevicePowerState, power);
}

// Surprise removal or removal: no new opens, no more requests, the hardware released once.
void tearDown(WDFDEVICE device) {
    if (device->removed.exchange(true)) return;
    setInterfaces(device, false);
    for (WDFQUEUE queue : device->queues) queue->purge(STATUS_NO_SUCH_DEVICE);
    if (device->hardwarePrepared) {
        device->hardwarePrepared = false;
        if (device->pnpPower.EvtDeviceReleaseHardware) device->pnpPower.EvtDeviceReleaseHardware(device, device->translated);
    }
    device->started = false;
    setDevicePower(device, PowerDeviceD3);
}

NTSTATUS start(WDFDEVICE device, PIRP irp) {
    NTSTATUS status = forwardAndWait(device, irp);
    if (NT_SUCCESS(status) && device->removed) status = STATUS_DELETE_PENDING;
    if (NT_SUCCESS(status)) {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
        device->raw->assign(stack->Parameters.StartDevice.AllocatedResources);
        device->translated->assign(stack->Parameters.StartDevice.AllocatedResourcesTranslated);
        if (device->pnpPower.EvtDevicePrepareHardware)
            status = device->pnpPower.EvtDevicePrepareHardware(device, device->raw, device->translated);
    }
    if (NT_SUCCESS(status)) {
        device->hardwarePrepared = true;
        device->started = true;
        setDevicePower(device, PowerDeviceD0);
        setInterfaces(device, true);
        if (!device->asleep)
            for (WDFQUEUE queue : device->queues) queue->start();
    }
    return completeIrp(irp, status, irp->IoStatus.Information);
}

NTSTATUS pnp(WDFDEVICE device, PIRP irp) {
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
        return start(device, irp);
    case IRP_MN_QUERY_REMOVE_DEVICE:
    case IRP_MN_CANCEL_REMOVE_DEVICE:
    case IRP_MN_QUERY_STOP_DEVICE:
    case IRP_MN_CANCEL_STOP_DEVICE:
        irp->IoStatus.Status = STATUS_SUCCESS;
        return passDown(device, irp);
    case IRP_MN_SURPRISE_REMOVAL:
        tearDown(device);
        irp->IoStatus.Status = STATUS_SUCCESS;
        return passDown(device, irp);
    case IRP_MN_REMOVE_DEVICE: {
        tearDown(device);
        irp->IoStatus.Status = STATUS_SUCCESS;
        PDEVICE_OBJECT lower = device->lower;
        const NTSTATUS status = passDown(device, irp);
        IoDetachDevice(lower);
        device->cleanup();
        // The object goes when its last file closes; the framework device goes with it (freeDevice).
        IoDeleteDevice(device->fdo);
        return status;
    }
    default:
        return passDown(device, irp);
    }
}

// The framework owns the power policy: a sleeping system stops the queues (after the request in
// the driver completes) and puts the device in D3; the working state brings both back.
NTSTATUS power(WDFDEVICE device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    if (stack->MinorFunction == IRP_MN_SET_POWER && stack->Parameters.Power.Type == SystemPowerState && !device->removed) {
        const bool sleeping = stack->Parameters.Power.State.SystemState != PowerSystemWorking;
        if (sleeping && !device->asleep) {
            device->asleep = true;
            for (WDFQUEUE queue : device->queues) queue->stopAndWait();
            if (device->started) setDevicePower(device, PowerDeviceD3);
        } else if (!sleeping && device->asleep) {
            device->asleep = false;
            if (device->started) {
                setDevicePower(device, PowerDeviceD0);
                for (WDFQUEUE queue : device->queues) queue->start();
            }
        }
        irp->IoStatus.Status = STATUS_SUCCESS;
    }
    PoStartNextPowerIrp(irp);
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(device->lower, irp);
}

NTSTATUS create(WDFDEVICE device, PIRP irp) {
    if (device->removed) return completeIrp(irp, STATUS_NO_SUCH_DEVICE);
    PFILE_OBJECT wdm = IoGetCurrentIrpStackLocation(irp)->FileObject;
    auto* file = new WDFFILEOBJECT__;
    file->device = device;
    file->wdm = wdm;
    if (device->hasFileAttributes) file->setAttributes(&device->fileAttributes);
    if (wdm) wdm->FsContext2 = file;
    if (!device->fileObject.EvtDeviceFileCreate) return completeIrp(irp, STATUS_SUCCESS);
    auto* request = new WDFREQUEST__;
    request->irp = irp;
    request->device = device;
    request->createdFile = file;
    IoMarkIrpPending(irp);
    kernel::PassiveScope passive;
    device->fileObject.EvtDeviceFileCreate(device, request, file);
    return STATUS_PENDING;
}

NTSTATUS fileRequest(WDFDEVICE device, PIRP irp, UCHAR major) {
    PFILE_OBJECT wdm = IoGetCurrentIrpStackLocation(irp)->FileObject;
    auto* file = wdm ? static_cast<WDFFILEOBJECT>(wdm->FsContext2) : nullptr;
    if (file) {
        kernel::PassiveScope passive;
        if (major == IRP_MJ_CLEANUP && device->fileObject.EvtFileCleanup) device->fileObject.EvtFileCleanup(file);
        if (major == IRP_MJ_CLOSE) {
            if (device->fileObject.EvtFileClose) device->fileObject.EvtFileClose(file);
            wdm->FsContext2 = nullptr;
            file->cleanup();
            delete file;
        }
    }
    return completeIrp(irp, STATUS_SUCCESS);
}

NTSTATUS deviceControl(WDFDEVICE device, PIRP irp) {
    if (device->removed) return completeIrp(irp, STATUS_NO_SUCH_DEVICE);
    if (device->defaultQueue == nullptr) return completeIrp(irp, STATUS_INVALID_DEVICE_REQUEST);
    auto* request = new WDFREQUEST__;
    request->irp = irp;
    request->device = device;
    request->queue = device->defaultQueue;
    IoMarkIrpPending(irp);
    device->defaultQueue->arrive(request);
    return STATUS_PENDING;
}

}  // namespace

NTSTATUS dispatch(PDEVICE_OBJECT fdo, PIRP irp) {
    WDFDEVICE device = deviceOf(fdo);
    if (device == nullptr) return kernel::invalidDeviceRequest(fdo, irp);
    switch (const UCHAR major = IoGetCurrentIrpStackLocation(irp)->MajorFunction) {
    case IRP_MJ_CREATE:
        return create(device, irp);
    case IRP_MJ_CLEANUP:
    case IRP_MJ_CLOSE:
        return fileRequest(device, irp, major);
    case IRP_MJ_DEVICE_CONTROL:
        return deviceControl(device, irp);
    case IRP_MJ_PNP:
        return pnp(device, irp);
    case IRP_MJ_POWER:
        return power(device, irp);
    default:
        if (device->removed) return completeIrp(irp, STATUS_NO_SUCH_DEVICE);
        return passDown(device, irp);
    }
}

NTSTATUS addDevice(PDRIVER_OBJECT wdm, PDEVICE_OBJECT physicalDevice) {
    WDFDRIVER driver = driverOf(wdm);
    if (driver == nullptr || driver->config.EvtDriverDeviceAdd == nullptr) return STATUS_INVALID_DEVICE_REQUEST;
    WDFDEVICE_INIT init;
    init.driver = driver;
    init.physicalDevice = physicalDevice;
    const NTSTATUS status = driver->config.EvtDriverDeviceAdd(driver, &init);
    if (!NT_SUCCESS(status) && init.created) {
        // A failed add leaves no device behind.
        WDFDEVICE device = init.created;
        device->removed = true;
        IoDetachDevice(device->lower);
        device->cleanup();
        IoDeleteDevice(device->fdo);
    }
    return status;
}

}  // namespace qk::wdf

using namespace qk::wdf;

WDFDEVICE__::~WDFDEVICE__() {
    for (WDFQUEUE queue : queues) {
        queue->cleanup();
        delete queue;
    }
    for (auto& i : interfaces) RtlFreeUnicodeString(&i.link);
    delete raw;
    delete translated;
}

void WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT deviceInit, PWDF_PNPPOWER_EVENT_CALLBACKS callbacks) {
    deviceInit->pnpPower = *callbacks;
}

void WdfDeviceInitSetFileObjectConfig(PWDFDEVICE_INIT deviceInit, PWDF_FILEOBJECT_CONFIG fileObjectConfig,
                                      PWDF_OBJECT_ATTRIBUTES fileObjectAttributes) {
    deviceInit->fileObject = *fileObjectConfig;
    deviceInit->hasFileAttributes = fileObjectAttributes != nullptr;
    if (fileObjectAttributes) deviceInit->fileAttributes = *fileObjectAttributes;
}

void WdfDeviceInitSetExclusive(PWDFDEVICE_INIT deviceInit, BOOLEAN isExclusive) { deviceInit->exclusive = isExclusive; }

void WdfDeviceInitSetDeviceType(PWDFDEVICE_INIT deviceInit, DEVICE_TYPE deviceType) { deviceInit->deviceType = deviceType; }

NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT* deviceInit, PWDF_OBJECT_ATTRIBUTES deviceAttributes, WDFDEVICE* device) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    if (deviceInit == nullptr || *deviceInit == nullptr || device == nullptr) return STATUS_INVALID_PARAMETER;
    PWDFDEVICE_INIT init = *deviceInit;
    if (init->created) return STATUS_INVALID_DEVICE_STATE;
    PDEVICE_OBJECT fdo = nullptr;
    NTSTATUS status = IoCreateDevice(init->driver->wdm, sizeof(WDFDEVICE), nullptr, init->deviceType,
                                     FILE_DEVICE_SECURE_OPEN, init->exclusive, &fdo);
    if (!NT_SUCCESS(status)) return status;
    auto* d = new WDFDEVICE__;
    d->driver = init->driver;
    d->fdo = fdo;
    d->physicalDevice = init->physicalDevice;
    d->pnpPower = init->pnpPower;
    d->fileObject = init->fileObject;
    d->fileAttributes = init->fileAttributes;
    d->hasFileAttributes = init->hasFileAttributes;
    d->raw = new WDFCMRESLIST__;
    d->translated = new WDFCMRESLIST__;
    d->setAttributes(deviceAttributes);
    *static_cast<WDFDEVICE*>(fdo->DeviceExtension) = d;
    qk::kernel::record(fdo).onFree = freeDevice;
    d->lower = IoAttachDeviceToDeviceStack(fdo, init->physicalDevice);
    if (d->lower == nullptr) {
        IoDeleteDevice(fdo);
        return STATUS_NO_SUCH_DEVICE;
    }
    fdo->Flags = (fdo->Flags | DO_BUFFERED_IO | DO_POWER_PAGABLE) & ~DO_DEVICE_INITIALIZING;
    init->created = d;
    *deviceInit = nullptr;
    *device = d;
    return STATUS_SUCCESS;
}

NTSTATUS WdfDeviceCreateDeviceInterface(WDFDEVICE device, const GUID* interfaceClassGuid, PCUNICODE_STRING referenceString) {
    qk::requireIrqlAtMost(PASSIVE_LEVEL, __func__);
    WDFDEVICE__::Interface i{*interfaceClassGuid, qk::kernel::wide(referenceString), {}};
    const NTSTATUS status = IoRegisterDeviceInterface(device->physicalDevice, interfaceClassGuid,
                                                      const_cast<PUNICODE_STRING>(referenceString), &i.link);
    if (!NT_SUCCESS(status)) return status;
    if (device->started) IoSetDeviceInterfaceState(&i.link, TRUE);
    device->interfaces.push_back(i);
    return STATUS_SUCCESS;
}

NTSTATUS WdfDeviceRetrieveDeviceInterfaceString(WDFDEVICE device, const GUID* interfaceClassGuid,
                                                PCUNICODE_STRING referenceString, WDFSTRING string) {
    const std::wstring reference = qk::kernel::wide(referenceString);
    for (const auto& i : device->interfaces) {
        if (!IsEqualGUID(i.interfaceClass, *interfaceClassGuid) || i.reference != reference) continue;
        string->text = qk::kernel::wide(&i.link);
        return STATUS_SUCCESS;
    }
    return STATUS_INVALID_DEVICE_REQUEST;
}

PDEVICE_OBJECT WdfDeviceWdmGetDeviceObject(WDFDEVICE device) { return device->fdo; }
PDEVICE_OBJECT WdfDeviceWdmGetPhysicalDevice(WDFDEVICE device) { return device->physicalDevice; }
WDFDRIVER WdfDeviceGetDriver(WDFDEVICE device) { return device->driver; }
WDFDEVICE WdfFileObjectGetDevice(WDFFILEOBJECT fileObject) { return fileObject->device; }
PUNICODE_STRING WdfFileObjectGetFileName(WDFFILEOBJECT fileObject) { return &fileObject->wdm->FileName; }
