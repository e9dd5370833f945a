// The PC104 board driver: one framework device per board in the I/O port space, a device
// interface per board, the multi-board registry values, and one device-control request at a
// time per board from its sequential default queue.
#include <new>

#include "fdb_ioctl.h"
#include "pc104_device.h"

namespace {

DEFINE_GUID(GUID_PC104_INTERFACE, fdb::kPc104InterfaceClass.data1, fdb::kPc104InterfaceClass.data2,
            fdb::kPc104InterfaceClass.data3, fdb::kPc104InterfaceClass.data4[0], fdb::kPc104InterfaceClass.data4[1],
            fdb::kPc104InterfaceClass.data4[2], fdb::kPc104InterfaceClass.data4[3],
            fdb::kPc104InterfaceClass.data4[4], fdb::kPc104InterfaceClass.data4[5],
            fdb::kPc104InterfaceClass.data4[6], fdb::kPc104InterfaceClass.data4[7]);

constexpr LONGLONG k5msInterval = -50000;  // relative, 100 ns units

NTSTATUS GetFreeDeviceID(ULONG* index) { return osprix::multiCard().freeIndex(index); }

void traceInterfaceLink(WDFDEVICE device, PCUNICODE_STRING reference, ULONG index) {
    WDFSTRING link;
    NTSTATUS status = WdfStringCreate(nullptr, WDF_NO_OBJECT_ATTRIBUTES, &link);
    if (!NT_SUCCESS(status)) {
        DbgPrint("Pc104EvtDeviceAdd: WdfStringCreate failed 0x%X\n", static_cast<unsigned>(status));
        return;
    }
    status = WdfDeviceRetrieveDeviceInterfaceString(device, &GUID_PC104_INTERFACE, reference, link);
    if (NT_SUCCESS(status)) {
        UNICODE_STRING text;
        WdfStringGetUnicodeString(link, &text);
        DbgPrint("Pc104EvtDeviceAdd: interface %wZ for DeviceId #%d\n", &text, static_cast<int>(index));
    } else {
        DbgPrint("Pc104EvtDeviceAdd: WdfDeviceRetrieveDeviceInterfaceString failed 0x%X\n",
                 static_cast<unsigned>(status));
    }
    WdfObjectDelete(link);
}

EVT_WDF_DEVICE_PREPARE_HARDWARE Pc104EvtDevicePrepareHardware;
NTSTATUS Pc104EvtDevicePrepareHardware(WDFDEVICE device, WDFCMRESLIST, WDFCMRESLIST translated) {
    OSPRIX_DEVICE_EXTENSION* board = Pc104GetDeviceExtension(device);
    const int id = static_cast<int>(board->deviceIndex);
    bool found = false;
    for (ULONG i = 0; i < WdfCmResourceListGetCount(translated); ++i) {
        PCM_PARTIAL_RESOURCE_DESCRIPTOR d = WdfResourceCmGetDescriptor(translated, i);
        if (d == nullptr) {
            DbgPrint("<-- Pc104EvtDevicePrepareHardware: WdfResourceCmGetDescriptor failed for DeviceId #%d\n", id);
            return STATUS_DEVICE_CONFIGURATION_ERROR;
        }
        if (d->Type != CmResourceTypePort) {
            DbgPrint("Ignored resource of type %d for DeviceId #%d\n", static_cast<int>(d->Type), id);
            continue;
        }
        const ULONG start = static_cast<ULONG>(d->u.Port.Start.QuadPart);
        DbgPrint("Found Port Resource [%X-%X] for DeviceId #%d\n", start, start + d->u.Port.Length - 1, id);
        if (found) continue;
        found = true;
        board->ioBase = reinterpret_cast<PUCHAR>(static_cast<ULONG_PTR>(d->u.Port.Start.QuadPart));
        board->portLength = d->u.Port.Length;
        board->portStart = start;
    }
    if (!found) {
        DbgPrint("<-- Pc104EvtDevicePrepareHardware: Missing expected hardware resources for DeviceID #%d\n", id);
        return STATUS_DEVICE_CONFIGURATION_ERROR;
    }
    board->registers = new (board->registerStorage) osprix::PortAccessor(board->ioBase);
    board->dualMedium = osprix::isDualMedium(osprix::ReadUlongFromPC104Eeprom(board->ioBase + osprix::kCardConfPort));
    return STATUS_SUCCESS;
}

EVT_WDF_DEVICE_RELEASE_HARDWARE Pc104EvtDeviceReleaseHardware;
NTSTATUS Pc104EvtDeviceReleaseHardware(WDFDEVICE device, WDFCMRESLIST) {
    OSPRIX_DEVICE_EXTENSION* board = Pc104GetDeviceExtension(device);
    DbgPrint("DeviceID = %d no more active\n", static_cast<int>(board->deviceIndex));
    osprix::multiCard().update(board->deviceIndex, multicard::Op::remove);
    return STATUS_SUCCESS;
}

EVT_WDF_DEVICE_FILE_CREATE Pc104EvtDeviceFileCreate;
void Pc104EvtDeviceFileCreate(WDFDEVICE device, WDFREQUEST request, WDFFILEOBJECT) {
    osprix::multiCard().update(Pc104GetDeviceExtension(device)->deviceIndex, multicard::Op::used);
    WdfRequestComplete(request, STATUS_SUCCESS);
}

EVT_WDF_FILE_CLOSE Pc104EvtFileClose;
void Pc104EvtFileClose(WDFFILEOBJECT file) {
    osprix::multiCard().update(Pc104GetDeviceExtension(WdfFileObjectGetDevice(file))->deviceIndex,
                               multicard::Op::unused);
}

EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL Pc104EvtIoDeviceControl;
void Pc104EvtIoDeviceControl(WDFQUEUE queue, WDFREQUEST request, SIZE_T outLength, SIZE_T inLength, ULONG code) {
    OSPRIX_DEVICE_EXTENSION* board = Pc104GetDeviceExtension(WdfIoQueueGetDevice(queue));
    // Input and output are the one system buffer; a request without either gets a scratch byte so
    // that no handler ever sees a null buffer.
    std::uint8_t scratch[4] = {};
    PVOID buffer = scratch;
    if (inLength > 0) {
        const NTSTATUS status = WdfRequestRetrieveInputBuffer(request, 0, &buffer, nullptr);
        if (!NT_SUCCESS(status)) {
            DbgPrint("WdfRequestRetrieveInputBuffer failed 0x%X\n", static_cast<unsigned>(status));
            return WdfRequestCompleteWithInformation(request, status, 0);
        }
    }
    if (outLength > 0) {
        const NTSTATUS status = WdfRequestRetrieveOutputBuffer(request, 0, &buffer, nullptr);
        if (!NT_SUCCESS(status)) {
            DbgPrint("WdfRequestRetrieveOutputBuffer failed 0x%X\n", static_cast<unsigned>(status));
            return WdfRequestCompleteWithInformation(request, status, 0);
        }
    }
    fullfip2::Completion done = {fullfip2::nt::kInvalidDeviceState, 0};
    if (board->registers != nullptr)
        done = osprix::deviceControl(*board, code, static_cast<ULONG>(inLength), static_cast<ULONG>(outLength),
                                     static_cast<std::uint8_t*>(buffer));
    const NTSTATUS status = fullfip2::completionStatus(done.status);
    if (!NT_SUCCESS(status)) DbgPrint("<-- Pc104EvtIoDeviceControl (status = 0x%X)\n", static_cast<unsigned>(status));
    WdfRequestCompleteWithInformation(request, status, NT_SUCCESS(status) ? done.information : 0);
}

// Creates the device, its queue and its interface; the index is taken before the interface that
// names it, and given back when a later step fails.
NTSTATUS createDevice(PWDFDEVICE_INIT init, OSPRIX_DEVICE_EXTENSION** created) {
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(&attributes, OSPRIX_DEVICE_EXTENSION);
    WDFDEVICE device;
    NTSTATUS status = WdfDeviceCreate(&init, &attributes, &device);
    if (!NT_SUCCESS(status)) {
        DbgPrint("WdfDeviceInitialize failed 0x%X\n", static_cast<unsigned>(status));
        return status;
    }
    OSPRIX_DEVICE_EXTENSION* board = Pc104GetDeviceExtension(device);
    board->device = device;

    WDF_IO_QUEUE_CONFIG queue;
    WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(&queue, WdfIoQueueDispatchSequential);
    queue.EvtIoDeviceControl = Pc104EvtIoDeviceControl;
    status = WdfIoQueueCreate(device, &queue, WDF_NO_OBJECT_ATTRIBUTES, WDF_NO_HANDLE);
    if (!NT_SUCCESS(status)) {
        DbgPrint("WdfIoQueueCreate failed 0x%X\n", static_cast<unsigned>(status));
        return status;
    }

    status = GetFreeDeviceID(&board->deviceIndex);
    if (!NT_SUCCESS(status)) {
        DbgPrint("GetFreeDeviceID failed 0x%X\n", static_cast<unsigned>(status));
        return status;
    }
    *created = board;
    status = osprix::multiCard().update(board->deviceIndex, multicard::Op::add);
    if (!NT_SUCCESS(status)) {
        DbgPrint("Cannot write information about multi-card in registry (0x%X)\n", static_cast<unsigned>(status));
        return status;
    }

    WCHAR digits[2] = {static_cast<WCHAR>(L'0' + board->deviceIndex), L'\0'};
    UNICODE_STRING reference;
    RtlInitUnicodeString(&reference, digits);
    status = WdfDeviceCreateDeviceInterface(device, &GUID_PC104_INTERFACE, &reference);
    if (!NT_SUCCESS(status)) {
        DbgPrint("<-- Pc104EvtDeviceAdd: WdfDeviceCreateDeviceInterface failed 0x%X\n", static_cast<unsigned>(status));
        return status;
    }
    traceInterfaceLink(device, &reference, board->deviceIndex);
    return STATUS_SUCCESS;
}

EVT_WDF_DRIVER_DEVICE_ADD Pc104EvtDeviceAdd;
NTSTATUS Pc104EvtDeviceAdd(WDFDRIVER, PWDFDEVICE_INIT init) {
    PAGED_CODE();
    WDF_PNPPOWER_EVENT_CALLBACKS pnp;
    WDF_PNPPOWER_EVENT_CALLBACKS_INIT(&pnp);
    pnp.EvtDevicePrepareHardware = Pc104EvtDevicePrepareHardware;
    pnp.EvtDeviceReleaseHardware = Pc104EvtDeviceReleaseHardware;
    WdfDeviceInitSetPnpPowerEventCallbacks(init, &pnp);
    WDF_FILEOBJECT_CONFIG files;
    WDF_FILEOBJECT_CONFIG_INIT(&files, Pc104EvtDeviceFileCreate, Pc104EvtFileClose, WDF_NO_EVENT_CALLBACK);
    WdfDeviceInitSetFileObjectConfig(init, &files, WDF_NO_OBJECT_ATTRIBUTES);

    OSPRIX_DEVICE_EXTENSION* board = nullptr;
    const NTSTATUS status = createDevice(init, &board);
    if (!NT_SUCCESS(status) && board != nullptr) osprix::multiCard().update(board->deviceIndex, multicard::Op::remove);
    return status;
}

EVT_WDF_OBJECT_CONTEXT_CLEANUP Pc104EvtDriverContextCleanup;
void Pc104EvtDriverContextCleanup(WDFOBJECT) {
    osprix::multiCard().reset();
    osprix::multiCard().forgetPath();
}

}  // namespace

namespace osprix {

multicard::MultiCardInformation& multiCard() {
    static multicard::MultiCardInformation information;
    return information;
}

void delay5ms() {
    LARGE_INTEGER interval;
    interval.QuadPart = k5msInterval;
    KeDelayExecutionThread(KernelMode, FALSE, &interval);
}

ULONG ReadUlongFromPC104Eeprom(PUCHAR port) {
    const UCHAR first = READ_PORT_UCHAR(port);
    delay5ms();
    DbgPrint("ReadUlongFromPC104Eeprom: first read 0x%X\n", static_cast<unsigned>(first));
    ULONG word = 0;
    for (const ULONG offset : {1u, 2u, 3u, 3u}) {
        word = word << 8 | READ_PORT_UCHAR(port + offset);
        delay5ms();
    }
    return word;
}

}  // namespace osprix

extern "C" NTSTATUS DriverEntry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath) {
    DbgPrint("Osprix DriverEntry: registry path %wZ\n", registryPath);
    DbgPrint("Built %s %s\n", __DATE__, __TIME__);
    WDF_DRIVER_CONFIG config;
    WDF_DRIVER_CONFIG_INIT(&config, Pc104EvtDeviceAdd);
    WDF_OBJECT_ATTRIBUTES attributes;
    WDF_OBJECT_ATTRIBUTES_INIT(&attributes);
    attributes.EvtCleanupCallback = Pc104EvtDriverContextCleanup;
    NTSTATUS status = WdfDriverCreate(driverObject, registryPath, &attributes, &config, WDF_NO_HANDLE);
    if (!NT_SUCCESS(status)) {
        // Without its framework driver object the service cannot run: fail the load.
        DbgPrint("WdfDriverCreate failed with status 0x%X\n", static_cast<unsigned>(status));
        return status;
    }
    status = osprix::multiCard().setParametersPath(registryPath);
    if (!NT_SUCCESS(status)) {
        DbgPrint("<-- DriverEntry cannot allocate pool for registry path\n");
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    return osprix::multiCard().reset();
}
