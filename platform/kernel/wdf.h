// The KMDF subset that the PC104 driver calls, with the framework's names and shapes, built on
// the WDM stand-in (wdm.h). The framework owns the driver's dispatch routines and AddDevice:
//   - a device is a function device object attached above the physical device, with a typed,
//     zeroed context (WDF_DECLARE_CONTEXT_TYPE_WITH_NAME);
//   - start calls EvtDevicePrepareHardware with the resource lists, then enables the device's
//     interfaces and starts its queues; surprise removal and removal stop the queues (waiting
//     requests complete with STATUS_NO_SUCH_DEVICE), wait for the request in progress, call
//     EvtDeviceReleaseHardware and disable the interfaces;
//   - the default queue is power-managed: a sleeping system holds it; a sequential queue hands
//     the driver one request at a time: the next waits until the previous one is completed;
//   - file objects: EvtDeviceFileCreate (the driver completes the create request), EvtFileCleanup,
//     EvtFileClose;
//   - callbacks run at PASSIVE_LEVEL on the thread that delivers the request.
#pragma once

#include "wdm.h"

struct WDFDRIVER__;
struct WDFDEVICE__;
struct WDFQUEUE__;
struct WDFREQUEST__;
struct WDFFILEOBJECT__;
struct WDFCMRESLIST__;
struct WDFSTRING__;
struct WDFDEVICE_INIT;
using WDFOBJECT = void*;
using WDFDRIVER = WDFDRIVER__*;
using WDFDEVICE = WDFDEVICE__*;
using WDFQUEUE = WDFQUEUE__*;
using WDFREQUEST = WDFREQUEST__*;
using WDFFILEOBJECT = WDFFILEOBJECT__*;
using WDFCMRESLIST = WDFCMRESLIST__*;
using WDFSTRING = WDFSTRING__*;
using PWDFDEVICE_INIT = WDFDEVICE_INIT*;

#define WDF_NO_OBJECT_ATTRIBUTES nullptr
#define WDF_NO_HANDLE nullptr
#define WDF_NO_EVENT_CALLBACK nullptr

// ---- objects and typed contexts
struct WDF_OBJECT_CONTEXT_TYPE_INFO {
    ULONG Size;
    PCSTR ContextName;
    SIZE_T ContextSize;
};
using PCWDF_OBJECT_CONTEXT_TYPE_INFO = const WDF_OBJECT_CONTEXT_TYPE_INFO*;

using PFN_WDF_OBJECT_CONTEXT_CLEANUP = void (*)(WDFOBJECT);
using PFN_WDF_OBJECT_CONTEXT_DESTROY = void (*)(WDFOBJECT);
using EVT_WDF_OBJECT_CONTEXT_CLEANUP = void(WDFOBJECT);
using EVT_WDF_DRIVER_UNLOAD = void(WDFDRIVER);
using PFN_WDF_DRIVER_UNLOAD = void (*)(WDFDRIVER);

enum WDF_EXECUTION_LEVEL { WdfExecutionLevelInvalid = 0, WdfExecutionLevelInheritFromParent, WdfExecutionLevelPassive, WdfExecutionLevelDispatch };
enum WDF_SYNCHRONIZATION_SCOPE { WdfSynchronizationScopeInvalid = 0, WdfSynchronizationScopeInheritFromParent, WdfSynchronizationScopeDevice, WdfSynchronizationScopeQueue, WdfSynchronizationScopeNone };

struct WDF_OBJECT_ATTRIBUTES {
    ULONG Size;
    PFN_WDF_OBJECT_CONTEXT_CLEANUP EvtCleanupCallback;
    PFN_WDF_OBJECT_CONTEXT_DESTROY EvtDestroyCallback;
    WDF_EXECUTION_LEVEL ExecutionLevel;
    WDF_SYNCHRONIZATION_SCOPE SynchronizationScope;
    WDFOBJECT ParentObject;
    SIZE_T ContextSizeOverride;
    PCWDF_OBJECT_CONTEXT_TYPE_INFO ContextTypeInfo;
};
using PWDF_OBJECT_ATTRIBUTES = WDF_OBJECT_ATTRIBUTES*;

inline void WDF_OBJECT_ATTRIBUTES_INIT(PWDF_OBJECT_ATTRIBUTES attributes) {
    *attributes = {};
    attributes->Size = sizeof(WDF_OBJECT_ATTRIBUTES);
    attributes->ExecutionLevel = WdfExecutionLevelInheritFromParent;
    attributes->SynchronizationScope = WdfSynchronizationScopeInheritFromParent;
}

// The context of an object, or NULL when the object carries no context of that type.
PVOID WdfObjectGetTypedContextWorker(WDFOBJECT handle, PCWDF_OBJECT_CONTEXT_TYPE_INFO typeInfo);
void WdfObjectDelete(WDFOBJECT object);

#define WDF_GET_CONTEXT_TYPE_INFO(_contexttype) (&_WDF_##_contexttype##_TYPE_INFO)
#define WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(_contexttype, _castingfunction)                                       \
    inline const WDF_OBJECT_CONTEXT_TYPE_INFO _WDF_##_contexttype##_TYPE_INFO = {                               \
        sizeof(WDF_OBJECT_CONTEXT_TYPE_INFO), #_contexttype, sizeof(_contexttype)};                             \
    inline _contexttype* _castingfunction(WDFOBJECT handle) {                                                   \
        return static_cast<_contexttype*>(WdfObjectGetTypedContextWorker(handle, WDF_GET_CONTEXT_TYPE_INFO(_contexttype))); \
    }
#define WDF_DECLARE_CONTEXT_TYPE(_contexttype) WDF_DECLARE_CONTEXT_TYPE_WITH_NAME(_contexttype, WdfObjectGet_##_contexttype)
#define WDF_OBJECT_ATTRIBUTES_INIT_CONTEXT_TYPE(_attributes, _contexttype) \
    do {                                                                   \
        WDF_OBJECT_ATTRIBUTES_INIT(_attributes);                           \
        (_attributes)->ContextTypeInfo = WDF_GET_CONTEXT_TYPE_INFO(_contexttype); \
    } while (0)
#define WdfObjectGetTypedContext(handle, type) \
    static_cast<type*>(WdfObjectGetTypedContextWorker((handle), WDF_GET_CONTEXT_TYPE_INFO(type)))

// ---- driver
using PFN_WDF_DRIVER_DEVICE_ADD = NTSTATUS (*)(WDFDRIVER, PWDFDEVICE_INIT);
using EVT_WDF_DRIVER_DEVICE_ADD = NTSTATUS(WDFDRIVER, PWDFDEVICE_INIT);

struct WDF_DRIVER_CONFIG {
    ULONG Size;
    PFN_WDF_DRIVER_DEVICE_ADD EvtDriverDeviceAdd;
    PFN_WDF_DRIVER_UNLOAD EvtDriverUnload;
    ULONG DriverInitFlags;
    ULONG DriverPoolTag;
};
using PWDF_DRIVER_CONFIG = WDF_DRIVER_CONFIG*;
inline void WDF_DRIVER_CONFIG_INIT(PWDF_DRIVER_CONFIG config, PFN_WDF_DRIVER_DEVICE_ADD evtDriverDeviceAdd) {
    *config = {};
    config->Size = sizeof(WDF_DRIVER_CONFIG);
    config->EvtDriverDeviceAdd = evtDriverDeviceAdd;
}

// Takes over the driver object's dispatch routines, AddDevice and unload. At unload the driver's
// EvtDriverUnload, then the driver attributes' EvtCleanupCallback, run.
NTSTATUS WdfDriverCreate(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath,
                         PWDF_OBJECT_ATTRIBUTES driverAttributes, PWDF_DRIVER_CONFIG driverConfig, WDFDRIVER* driver);
PDRIVER_OBJECT WdfDriverWdmGetDriverObject(WDFDRIVER driver);

// ---- device initialisation
using PFN_WDF_DEVICE_PREPARE_HARDWARE = NTSTATUS (*)(WDFDEVICE, WDFCMRESLIST resourcesRaw, WDFCMRESLIST resourcesTranslated);
using PFN_WDF_DEVICE_RELEASE_HARDWARE = NTSTATUS (*)(WDFDEVICE, WDFCMRESLIST resourcesTranslated);
using EVT_WDF_DEVICE_PREPARE_HARDWARE = NTSTATUS(WDFDEVICE, WDFCMRESLIST, WDFCMRESLIST);
using EVT_WDF_DEVICE_RELEASE_HARDWARE = NTSTATUS(WDFDEVICE, WDFCMRESLIST);

struct WDF_PNPPOWER_EVENT_CALLBACKS {
    ULONG Size;
    PFN_WDF_DEVICE_PREPARE_HARDWARE EvtDevicePrepareHardware;
    PFN_WDF_DEVICE_RELEASE_HARDWARE EvtDeviceReleaseHardware;
};
using PWDF_PNPPOWER_EVENT_CALLBACKS = WDF_PNPPOWER_EVENT_CALLBACKS*;
inline void WDF_PNPPOWER_EVENT_CALLBACKS_INIT(PWDF_PNPPOWER_EVENT_CALLBACKS callbacks) {
    *callbacks = {};
    callbacks->Size = sizeof(WDF_PNPPOWER_EVENT_CALLBACKS);
}

using PFN_WDF_DEVICE_FILE_CREATE = void (*)(WDFDEVICE, WDFREQUEST, WDFFILEOBJECT);
using PFN_WDF_FILE_CLOSE = void (*)(WDFFILEOBJECT);
using PFN_WDF_FILE_CLEANUP = void (*)(WDFFILEOBJECT);
using EVT_WDF_DEVICE_FILE_CREATE = void(WDFDEVICE, WDFREQUEST, WDFFILEOBJECT);
using EVT_WDF_FILE_CLOSE = void(WDFFILEOBJECT);
using EVT_WDF_FILE_CLEANUP = void(WDFFILEOBJECT);

struct WDF_FILEOBJECT_CONFIG {
    ULONG Size;
    PFN_WDF_DEVICE_FILE_CREATE EvtDeviceFileCreate;
    PFN_WDF_FILE_CLOSE EvtFileClose;
    PFN_WDF_FILE_CLEANUP EvtFileCleanup;
};
using PWDF_FILEOBJECT_CONFIG = WDF_FILEOBJECT_CONFIG*;
inline void WDF_FILEOBJECT_CONFIG_INIT(PWDF_FILEOBJECT_CONFIG config, PFN_WDF_DEVICE_FILE_CREATE evtDeviceFileCreate,
                                       PFN_WDF_FILE_CLOSE evtFileClose, PFN_WDF_FILE_CLEANUP evtFileCleanup) {
    *config = {};
    config->Size = sizeof(WDF_FILEOBJECT_CONFIG);
    config->EvtDeviceFileCreate = evtDeviceFileCreate;
    config->EvtFileClose = evtFileClose;
    config->EvtFileCleanup = evtFileCleanup;
}

void WdfDeviceInitSetPnpPowerEventCallbacks(PWDFDEVICE_INIT deviceInit, PWDF_PNPPOWER_EVENT_CALLBACKS callbacks);
void WdfDeviceInitSetFileObjectConfig(PWDFDEVICE_INIT deviceInit, PWDF_FILEOBJECT_CONFIG fileObjectConfig,
                                      PWDF_OBJECT_ATTRIBUTES fileObjectAttributes);
void WdfDeviceInitSetExclusive(PWDFDEVICE_INIT deviceInit, BOOLEAN isExclusive);
void WdfDeviceInitSetDeviceType(PWDFDEVICE_INIT deviceInit, DEVICE_TYPE deviceType);

// ---- device
// Consumes *deviceInit on success (sets it to NULL).
NTSTATUS WdfDeviceCreate(PWDFDEVICE_INIT* deviceInit, PWDF_OBJECT_ATTRIBUTES deviceAttributes, WDFDEVICE* device);
// Registers an interface on the physical device; it is enabled while the device is started.
NTSTATUS WdfDeviceCreateDeviceInterface(WDFDEVICE device, const GUID* interfaceClassGuid, PCUNICODE_STRING referenceString);
NTSTATUS WdfDeviceRetrieveDeviceInterfaceString(WDFDEVICE device, const GUID* interfaceClassGuid,
                                                PCUNICODE_STRING referenceString, WDFSTRING string);
PDEVICE_OBJECT WdfDeviceWdmGetDeviceObject(WDFDEVICE device);
PDEVICE_OBJECT WdfDeviceWdmGetPhysicalDevice(WDFDEVICE device);
WDFDRIVER WdfDeviceGetDriver(WDFDEVICE device);

// ---- strings
NTSTATUS WdfStringCreate(PCUNICODE_STRING unicodeString, PWDF_OBJECT_ATTRIBUTES stringAttributes, WDFSTRING* string);
void WdfStringGetUnicodeString(WDFSTRING string, PUNICODE_STRING unicodeString);  // valid while the string lives

// ---- resources
ULONG WdfCmResourceListGetCount(WDFCMRESLIST list);
PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfCmResourceListGetDescriptor(WDFCMRESLIST list, ULONG index);  // NULL past the end
inline PCM_PARTIAL_RESOURCE_DESCRIPTOR WdfResourceCmGetDescriptor(WDFCMRESLIST list, ULONG index) {
    return WdfCmResourceListGetDescriptor(list, index);
}

// ---- queues
enum WDF_IO_QUEUE_DISPATCH_TYPE { WdfIoQueueDispatchInvalid = 0, WdfIoQueueDispatchSequential, WdfIoQueueDispatchParallel, WdfIoQueueDispatchManual };
enum WDF_TRI_STATE { WdfFalse = 0, WdfTrue = 1, WdfUseDefault = 2 };

using PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL = void (*)(WDFQUEUE queue, WDFREQUEST request, SIZE_T outputBufferLength,
                                                    SIZE_T inputBufferLength, ULONG ioControlCode);
using EVT_WDF_IO_QUEUE_IO_DEVICE_CONTROL = void(WDFQUEUE, WDFREQUEST, SIZE_T, SIZE_T, ULONG);

struct WDF_IO_QUEUE_CONFIG {
    ULONG Size;
    WDF_IO_QUEUE_DISPATCH_TYPE DispatchType;
    WDF_TRI_STATE PowerManaged;
    BOOLEAN AllowZeroLengthRequests;
    BOOLEAN DefaultQueue;
    PFN_WDF_IO_QUEUE_IO_DEVICE_CONTROL EvtIoDeviceControl;
};
using PWDF_IO_QUEUE_CONFIG = WDF_IO_QUEUE_CONFIG*;
inline void WDF_IO_QUEUE_CONFIG_INIT_DEFAULT_QUEUE(PWDF_IO_QUEUE_CONFIG config, WDF_IO_QUEUE_DISPATCH_TYPE dispatchType) {
    *config = {};
    config->Size = sizeof(WDF_IO_QUEUE_CONFIG);
    config->DispatchType = dispatchType;
    config->PowerManaged = WdfUseDefault;
    config->DefaultQueue = TRUE;
}

// Only the default queue receives requests: device-control requests go to it.
NTSTATUS WdfIoQueueCreate(WDFDEVICE device, PWDF_IO_QUEUE_CONFIG config, PWDF_OBJECT_ATTRIBUTES queueAttributes,
                          WDFQUEUE* queue);
WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE queue);

// ---- requests (buffered: input and output are the one system buffer)
// STATUS_BUFFER_TOO_SMALL when the buffer is empty or shorter than minimumRequiredSize.
NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST request, SIZE_T minimumRequiredSize, PVOID* buffer, SIZE_T* length);
NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST request, SIZE_T minimumRequiredSize, PVOID* buffer, SIZE_T* length);
void WdfRequestSetInformation(WDFREQUEST request, ULONG_PTR information);
void WdfRequestComplete(WDFREQUEST request, NTSTATUS status);  // the request handle is invalid afterwards
void WdfRequestCompleteWithInformation(WDFREQUEST request, NTSTATUS status, ULONG_PTR information);
WDFFILEOBJECT WdfRequestGetFileObject(WDFREQUEST request);

// ---- file objects
WDFDEVICE WdfFileObjectGetDevice(WDFFILEOBJECT fileObject);
PUNICODE_STRING WdfFileObjectGetFileName(WDFFILEOBJECT fileObject);
