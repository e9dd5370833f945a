// A small KMDF driver for the kernel stand-in's tests: one device per board with a device
// interface (reference string = board index), a port range found at prepare-hardware, file
// object callbacks, and a sequential default queue whose requests may complete on a worker thread.
#include <cstring>

#include "echo_ioctl.h"
#include "kernel/wdf.h"

namespace {

struct ECHO_CONTEXT {
    ULONG index;
    PUCHAR ports;
    ULONG portsLength;
};
WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(ECHO_CONTEXT, EchoGetContext)

DEFINE_GUID(GUID_ECHO_INTERFACE, echo::interfaceData1, echo::interfaceData2, echo::interfaceData3,
            echo::interfaceData4[0], echo::interfaceData4[1], echo::interfaceData4[2], echo::interfaceData4[3],
            echo::interfaceData4[4], echo::interfaceData4[5], echo::interfaceData4[6], echo::interfaceData4[7]);

LONG devices = 0;
LONG openFiles = 0;
LONG inDriver = 0;
LONG mostInDriver = 0;
LONG released = 0;
LONG cleanedUp = 0;

void enter() {
    const LONG now = InterlockedIncrement(&inDriver);
    for (LONG seen = mostInDriver; now > seen; seen = mostInDriver)
        if (InterlockedCompareExchange(&mostInDriver, now, seen) == seen) break;
}

void finish(WDFREQUEST request, NTSTATUS status, ULONG_PTR information) {
    InterlockedDecrement(&inDriver);
    WdfRequestCompleteWithInformation(request, status, information);
}

IO_WORKITEM_ROUTINE completeLater;
void completeLater(PDEVICE_OBJECT, PVOID context) {
    auto** slot = static_cast<PVOID*>(context);
    auto request = static_cast<WDFREQUEST>(slot[0]);
    auto item = static_cast<PIO_WORKITEM>(slot[1]);
    ExFreePool(slot);
    LARGE_INTEGER delay;
    delay.QuadPart = -20000;  // 2 ms: long enough for other callers to queue up behind
    KeDelayExecutionThread(KernelMode, FALSE, &delay);
    PVOID buffer;
    SIZE_T length = 0;
    if (NT_SUCCESS(WdfRequestRetrieveInputBuffer(request, 1, &buffer, &length))) std::memset(buffer, 0xEE, length);
    finish(request, STATUS_SUCCESS, length);
    IoFreeWorkItem(item);
}

EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL echoDeviceControl;
void echoDeviceControl(WDFQUEUE queue, WDFREQUEST request, SIZE_T outputLength, SIZE_T inputLength, ULONG code) {
    enter();
    ECHO_CONTEXT* context = EchoGetContext(WdfIoQueueGetDevice(queue));
    PVOID in = nullptr;
    PVOID out = nullptr;
    switch (code) {
    case echo::IOCTL_ECHO: {
        NTSTATUS status = WdfRequestRetrieveInputBuffer(request, 1, &in, nullptr);
        if (NT_SUCCESS(status)) status = WdfRequestRetrieveOutputBuffer(request, inputLength, &out, nullptr);
        if (!NT_SUCCESS(status)) return finish(request, status, 0);
        auto* bytes = static_cast<UCHAR*>(out);
        for (SIZE_T i = 0; i < inputLength / 2; ++i) {
            const UCHAR t = bytes[i];
            bytes[i] = bytes[inputLength - 1 - i];
            bytes[inputLength - 1 - i] = t;
        }
        return finish(request, STATUS_SUCCESS, outputLength);
    }
    case echo::IOCTL_PEND: {
        PIO_WORKITEM item = IoAllocateWorkItem(WdfDeviceWdmGetDeviceObject(WdfIoQueueGetDevice(queue)));
        auto** slot = static_cast<PVOID*>(ExAllocatePoolWithTag(NonPagedPool, 2 * sizeof(PVOID), 0x6F686345 /* 'Echo' */));
        slot[0] = request;
        slot[1] = item;
        IoQueueWorkItem(item, completeLater, DelayedWorkQueue, slot);
        return;
    }
    case echo::IOCTL_PORT: {
        NTSTATUS status = WdfRequestRetrieveInputBuffer(request, 1, &in, nullptr);
        if (NT_SUCCESS(status)) status = WdfRequestRetrieveOutputBuffer(request, 1, &out, nullptr);
        if (!NT_SUCCESS(status)) return finish(request, status, 0);
        const UCHAR offset = *static_cast<UCHAR*>(in);
        *static_cast<UCHAR*>(out) = READ_PORT_UCHAR(context->ports + offset);
        WRITE_PORT_UCHAR(context->ports + offset, 0xA5);
        return finish(request, STATUS_SUCCESS, 1);
    }
    default:
        return finish(request, STATUS_NOT_IMPLEMENTED, 0);
    }
}

EVT_WDF_DEVICE_PREPARE_HARDWARE echoPrepareHardware;
NTSTATUS echoPrepareHardware(WDFDEVICE device, WDFCMRESLIST, WDFCMRESLIST translated) {
    ECHO_CONTEXT* context = EchoGetContext(device);
    for (ULONG i = 0; i < WdfCmResourceListGetCount(translated); ++i) {
        PCM_PARTIAL_RESOURCE_DESCRIPTOR d = WdfCmResourceListGetDescriptor(translated, i);
        if (d == nullptr) return STATUS_DEVICE_CONFIGURATION_ERROR;
        if (d->Type != CmResourceTypePort || context->ports != nullptr) continue;
        context->ports = reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(d->u.Port.Start.QuadPart));
        context->portsLength = d->u.Port.Length;
    }
    return context->ports ? STATUS_SUCCESS : STATUS_DEVICE_CONFIGURATION_ERROR;
}

EVT_WDF_DEVICE_RELEASE_HARDWARE echoReleaseHardware;
NTSTATUS echoReleaseHardware(WDFDEVICE, WDFCMRESLIST) {
    InterlockedIncrement(&released);
    return STATUS_SUCCESS;
}

EVT_WDF_DEVICE_FILE_CREATE echoFileCreate;
void echoFileCreate(WDFDEVICE, WDFREQUEST request, WDFFILEOBJECT) {
    InterlockedIncrement(&openFiles);
    WdfRequestComplete(request, STATUS_SUCCESS);
}

EVT_WDF_FILE_CLOSE echoFileClose;
void echoFileClose(WDFFILEOBJECT) { InterlockedDecrement(&openFiles); }

EVT_WDF_DRIVER_DEVICE_ADD echoDeviceAdd;
NTSTATUS echoDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init) {
    PAGED_CODE();
    WDF_PNPPOWER_EVENT_CALLBACKS pnp;
    WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnp);
    pnp.EvtDevicePrepareHardware = echoPrepareHardware;
    pnp.EvtDeviceReleaseHardware = echoReleaseHardware;
    WdfDeviceInitSetPnpPowerEventCallbacks(init, &pnp);
    WDF_FILEOBJECT_CONFIG files;
    WDF_FILEOBJECT_CONFIG_INIT(&files, echoFileCreate, echoFileClose, WDF_NO_EVENT_CALLBACK);
    WdfDeviceInitSetFileObjectConfig(init, &files, WDF_NO_OBJECT_ATTRIBUTES);

    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, ECHO_CONTEXT);
    WDFDEVICE device;
    NTSTATUS status = WdfDeviceCreate(&init, &attributes, &device);
    if (!NT_SUCCESS(status)) return status;

    WDF_IO_QUEUE_CONFIG queue;
    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queue, WdfIoQueueDispatchSequential);
    queue.EvtIoDeviceControl = echoDeviceControl;
    status = WdfIoQueueCreate(device, &queue, WDF_NO_OBJECT_ATTRIBUTES, WDF_NO_HANDLE);
    if (!NT_SUCCESS(status)) return status;

    ECHO_CONTEXT* context = EchoGetContext(device);
    context->index = static_cast<ULONG>(InterlockedIncrement(&devices) - 1);
    WCHAR digit[2] = {static_cast<WCHAR>(L'0' + context->index), L'\0'};
    UNICODE_STRING reference;
    RtlInitUnicodeString(&reference, digit);
    status = WdfDeviceCreateDeviceInterface(device, &GUID_ECHO_INTERFACE, &reference);
    if (!NT_SUCCESS(status)) return status;

    WDFSTRING link;
    if (NT_SUCCESS(WdfStringCreate(nullptr, WDF_NO_OBJECT_ATTRIBUTES, &link))) {
        if (NT_SUCCESS(WdfDeviceRetrieveDeviceInterfaceString(device, &GUID_ECHO_INTERFACE, &reference, link))) {
            UNICODE_STRING text;
            WdfStringGetUnicodeString(link, &text);
            DbgPrint("Echo interface %wZ for board #%d\n", &text, context->index);
        }
        WdfObjectDelete(link);
    }
    return STATUS_SUCCESS;
}

EVT_WDF_OBJECT_CONTEXT_CLEANUP echoDriverCleanup;
void echoDriverCleanup(WDFOBJECT) { InterlockedIncrement(&cleanedUp); }

}  // namespace

extern "C" long EchoOpenFiles() { return InterlockedExchangeAdd(&openFiles, 0); }
extern "C" long EchoMostInDriver() { return InterlockedExchangeAdd(&mostInDriver, 0); }
extern "C" long EchoReleasedHardware() { return InterlockedExchangeAdd(&released, 0); }
extern "C" long EchoCleanedUp() { return InterlockedExchangeAdd(&cleanedUp, 0); }

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    devices = openFiles = inDriver = mostInDriver = released = 0;
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, echoDeviceAdd);
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.EvtCleanupCallback = echoDriverCleanup;
    return WdfDriverCreate(driverObject, registryPath, &attributes, &config, WDF_NO_HANDLE);
}
