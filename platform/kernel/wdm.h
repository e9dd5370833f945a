// The WDM subset that the board drivers call, with the platform's names and shapes, so that a
// driver reads as the driver it is. Inside, the calls are plain C++ on the kernel stand-in:
//   - IRPs carry their stack locations after the IRP; IoCallDriver moves down one location and
//     calls the target driver's dispatch routine on the calling thread; IoCompleteRequest walks
//     back up, running completion routines, and hands the IRP back to its originator.
//   - IRQL is tracked per thread; a call that needs PASSIVE_LEVEL at a higher level is a fault of
//     the driver and ends the process with a message (as the platform would stop).
//   - Time (system time, ticks, delays, timed waits) runs on the machine clock (base/clock.h).
//   - MmMapIoSpace returns token addresses decoded by the register accessors (kernel/hardware.h);
//     a port address is the port number.
//   - Absolute registry paths "\Registry\Machine\X" reach HKLM "X" of the registry store.
#pragma once

#include "nt_types.h"
#include "ntstatus.h"

// ---- IRQL
inline constexpr KIRQL PASSIVE_LEVEL = 0;
inline constexpr KIRQL LOW_LEVEL = 0;
inline constexpr KIRQL APC_LEVEL = 1;
inline constexpr KIRQL DISPATCH_LEVEL = 2;
inline constexpr KIRQL HIGH_LEVEL = 15;

KIRQL KeGetCurrentIrql();
void KeRaiseIrql(KIRQL newIrql, PKIRQL oldIrql);
void KeLowerIrql(KIRQL newIrql);
KIRQL KeRaiseIrqlToDpcLevel();

namespace qk {
// Ends the process with a message when the current IRQL is above `maximum` (`where` names the call).
void requireIrqlAtMost(KIRQL maximum, const char* where);
[[noreturn]] void kernelAssertFailed(const char* expression, const char* file, int line);
}  // namespace qk

#define PAGED_CODE() qk::requireIrqlAtMost(APC_LEVEL, __func__)
#define NT_ASSERT(e) ((e) ? static_cast<void>(0) : qk::kernelAssertFailed(#e, __FILE__, __LINE__))
#define ASSERT(e) NT_ASSERT(e)

#define UNREFERENCED_PARAMETER(P) static_cast<void>(P)

// ---- dispatcher objects: events and mutexes (usable once initialised; no destruction needed)
enum EVENT_TYPE { NotificationEvent, SynchronizationEvent };
enum KWAIT_REASON { Executive = 0, UserRequest = 6 };
inline constexpr KPROCESSOR_MODE KernelMode = 0;
inline constexpr KPROCESSOR_MODE UserMode = 1;
#define IO_NO_INCREMENT 0
#define EVENT_INCREMENT 1

struct DISPATCHER_HEADER {
    UCHAR Type;
    UCHAR Reserved[3];
    LONG SignalState;
};
struct KEVENT {
    DISPATCHER_HEADER Header;
};
using PKEVENT = KEVENT*;
using PRKEVENT = KEVENT*;
struct KMUTEX {
    DISPATCHER_HEADER Header;
    PVOID OwnerThread;
    LONG Recursion;
};
using PKMUTEX = KMUTEX*;
using PRKMUTEX = KMUTEX*;

void KeInitializeEvent(PRKEVENT event, EVENT_TYPE type, BOOLEAN state);
LONG KeSetEvent(PRKEVENT event, KPRIORITY increment, BOOLEAN wait);  // returns the previous state
void KeClearEvent(PRKEVENT event);
LONG KeResetEvent(PRKEVENT event);
LONG KeReadStateEvent(PRKEVENT event);
void KeInitializeMutex(PRKMUTEX mutex, ULONG level);
LONG KeReleaseMutex(PRKMUTEX mutex, BOOLEAN wait);
// Waits for an event or a mutex. Timeout: NULL waits without limit, 0 tests, negative is relative
// and positive absolute (100 ns units of the machine clock). STATUS_SUCCESS or STATUS_TIMEOUT.
// A wait that may block needs IRQL <= APC_LEVEL.
NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON reason, KPROCESSOR_MODE mode, BOOLEAN alertable,
                               PLARGE_INTEGER timeout);
#define KeWaitForMutexObject KeWaitForSingleObject

// Fast mutex: not recursive; held at APC_LEVEL.
struct FAST_MUTEX {
    KMUTEX Mutex;
    ULONG OldIrql;
};
using PFAST_MUTEX = FAST_MUTEX*;
void ExInitializeFastMutex(PFAST_MUTEX mutex);
void ExAcquireFastMutex(PFAST_MUTEX mutex);
BOOLEAN ExTryToAcquireFastMutex(PFAST_MUTEX mutex);
void ExReleaseFastMutex(PFAST_MUTEX mutex);

// Spin lock: held at DISPATCH_LEVEL.
using KSPIN_LOCK = ULONG_PTR;
using PKSPIN_LOCK = KSPIN_LOCK*;
void KeInitializeSpinLock(PKSPIN_LOCK lock);
void KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL oldIrql);
void KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL newIrql);
void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK lock);
void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK lock);

// ---- time
void KeQuerySystemTime(PLARGE_INTEGER currentTime);  // 100 ns units
void KeQueryTickCount(PLARGE_INTEGER tickCount);
ULONG KeQueryTimeIncrement();                         // 100 ns units per tick
ULONGLONG KeQueryInterruptTime();                     // 100 ns units since boot: tick count x increment
void KeStallExecutionProcessor(ULONG microseconds);
// Interval: negative relative, positive absolute (100 ns units). Needs IRQL <= APC_LEVEL.
NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE mode, BOOLEAN alertable, PLARGE_INTEGER interval);

// ---- pool
enum POOL_TYPE { NonPagedPool = 0, PagedPool = 1, NonPagedPoolNx = 512 };
PVOID ExAllocatePoolWithTag(POOL_TYPE type, SIZE_T numberOfBytes, ULONG tag);
PVOID ExAllocatePool(POOL_TYPE type, SIZE_T numberOfBytes);
void ExFreePool(PVOID p);
void ExFreePoolWithTag(PVOID p, ULONG tag);

// ---- debug output: formatted (printf conventions plus %ws, %S and %wZ) and dropped.
ULONG DbgPrint(PCSTR format, ...);
#define KdPrint(args) DbgPrint args

// ---- registry
inline constexpr ULONG RTL_REGISTRY_ABSOLUTE = 0;
inline constexpr ULONG RTL_REGISTRY_SERVICES = 1;  // relative to ...\CurrentControlSet\Services
inline constexpr ULONG RTL_REGISTRY_OPTIONAL = 0x80000000;
inline constexpr ULONG REG_NONE = 0;
inline constexpr ULONG REG_SZ = 1;
inline constexpr ULONG REG_BINARY = 3;
inline constexpr ULONG REG_DWORD = 4;
inline constexpr ULONG REG_OPTION_NON_VOLATILE = 0;
inline constexpr ULONG REG_OPTION_VOLATILE = 1;
inline constexpr ULONG REG_CREATED_NEW_KEY = 1;
inline constexpr ULONG REG_OPENED_EXISTING_KEY = 2;
inline constexpr ACCESS_MASK KEY_QUERY_VALUE = 0x0001;
inline constexpr ACCESS_MASK KEY_SET_VALUE = 0x0002;
inline constexpr ACCESS_MASK KEY_READ = 0x20019;
inline constexpr ACCESS_MASK KEY_WRITE = 0x20006;
inline constexpr ACCESS_MASK KEY_ALL_ACCESS = 0xF003F;
inline constexpr ULONG OBJ_CASE_INSENSITIVE = 0x40;
inline constexpr ULONG OBJ_KERNEL_HANDLE = 0x200;

struct OBJECT_ATTRIBUTES {
    ULONG Length;
    HANDLE RootDirectory;
    PUNICODE_STRING ObjectName;
    ULONG Attributes;
    PVOID SecurityDescriptor;
    PVOID SecurityQualityOfService;
};
using POBJECT_ATTRIBUTES = OBJECT_ATTRIBUTES*;
#define InitializeObjectAttributes(p, n, a, r, s) \
    do {                                          \
        (p)->Length = sizeof(OBJECT_ATTRIBUTES);  \
        (p)->RootDirectory = (r);                 \
        (p)->Attributes = (a);                    \
        (p)->ObjectName = (n);                    \
        (p)->SecurityDescriptor = (s);            \
        (p)->SecurityQualityOfService = nullptr;  \
    } while (0)

// Writes a value into an existing key: STATUS_OBJECT_NAME_NOT_FOUND when the key is missing,
// STATUS_ACCESS_DENIED when the store refuses the write. Needs PASSIVE_LEVEL (as every call here).
NTSTATUS RtlWriteRegistryValue(ULONG relativeTo, PCWSTR path, PCWSTR valueName, ULONG valueType, PVOID valueData,
                               ULONG valueLength);
// STATUS_SUCCESS when the key exists, else STATUS_OBJECT_NAME_NOT_FOUND.
NTSTATUS RtlCheckRegistryKey(ULONG relativeTo, PWSTR path);
// Creates the key (its parent must exist).
NTSTATUS RtlCreateRegistryKey(ULONG relativeTo, PWSTR path);
// The object name is an absolute path; RootDirectory, when set, is a key handle it is relative to.
NTSTATUS ZwCreateKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes,
                     ULONG titleIndex, PUNICODE_STRING keyClass, ULONG createOptions, PULONG disposition);
NTSTATUS ZwOpenKey(PHANDLE keyHandle, ACCESS_MASK desiredAccess, POBJECT_ATTRIBUTES objectAttributes);
NTSTATUS ZwSetValueKey(HANDLE keyHandle, PUNICODE_STRING valueName, ULONG titleIndex, ULONG type, PVOID data,
                       ULONG dataSize);
NTSTATUS ZwClose(HANDLE handle);

// ---- hardware access
enum MEMORY_CACHING_TYPE { MmNonCached = 0, MmCached = 1, MmWriteCombined = 2 };
// NULL when no attached memory range covers [physicalAddress, physicalAddress + numberOfBytes).
PVOID MmMapIoSpace(PHYSICAL_ADDRESS physicalAddress, SIZE_T numberOfBytes, MEMORY_CACHING_TYPE cacheType);
void MmUnmapIoSpace(PVOID baseAddress, SIZE_T numberOfBytes);
UCHAR READ_REGISTER_UCHAR(volatile UCHAR* reg);
ULONG READ_REGISTER_ULONG(volatile ULONG* reg);
void WRITE_REGISTER_UCHAR(volatile UCHAR* reg, UCHAR value);
void WRITE_REGISTER_ULONG(volatile ULONG* reg, ULONG value);
UCHAR READ_PORT_UCHAR(PUCHAR port);
void WRITE_PORT_UCHAR(PUCHAR port, UCHAR value);

// ---- resource lists (translated resources of a start request)
enum INTERFACE_TYPE { InterfaceTypeUndefined = -1, Internal = 0, Isa = 1, PCIBus = 5 };
inline constexpr UCHAR CmResourceTypeNull = 0;
inline constexpr UCHAR CmResourceTypePort = 1;
inline constexpr UCHAR CmResourceTypeInterrupt = 2;
inline constexpr UCHAR CmResourceTypeMemory = 3;
inline constexpr UCHAR CmResourceShareDeviceExclusive = 1;
inline constexpr USHORT CM_RESOURCE_PORT_IO = 0x0001;
inline constexpr USHORT CM_RESOURCE_MEMORY_READ_WRITE = 0x0000;

#pragma pack(push, 4)
struct CM_PARTIAL_RESOURCE_DESCRIPTOR {
    UCHAR Type;
    UCHAR ShareDisposition;
    USHORT Flags;
    union {
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Generic;
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Port;
        struct {
            PHYSICAL_ADDRESS Start;
            ULONG Length;
        } Memory;
        struct {
            ULONG Level;
            ULONG Vector;
            ULONG_PTR Affinity;
        } Interrupt;
    } u;
};
#pragma pack(pop)
using PCM_PARTIAL_RESOURCE_DESCRIPTOR = CM_PARTIAL_RESOURCE_DESCRIPTOR*;
struct CM_PARTIAL_RESOURCE_LIST {
    USHORT Version;
    USHORT Revision;
    ULONG Count;
    CM_PARTIAL_RESOURCE_DESCRIPTOR PartialDescriptors[1];  // Count of them
};
struct CM_FULL_RESOURCE_DESCRIPTOR {
    INTERFACE_TYPE InterfaceType;
    ULONG BusNumber;
    CM_PARTIAL_RESOURCE_LIST PartialResourceList;
};
struct CM_RESOURCE_LIST {
    ULONG Count;
    CM_FULL_RESOURCE_DESCRIPTOR List[1];  // Count of them
};
using PCM_RESOURCE_LIST = CM_RESOURCE_LIST*;

// ---- power
enum SYSTEM_POWER_STATE {
    PowerSystemUnspecified = 0,
    PowerSystemWorking = 1,
    PowerSystemSleeping1 = 2,
    PowerSystemSleeping2 = 3,
    PowerSystemSleeping3 = 4,
    PowerSystemHibernate = 5,
    PowerSystemShutdown = 6,
    PowerSystemMaximum = 7
};
enum DEVICE_POWER_STATE {
    PowerDeviceUnspecified = 0,
    PowerDeviceD0 = 1,
    PowerDeviceD1 = 2,
    PowerDeviceD2 = 3,
    PowerDeviceD3 = 4,
    PowerDeviceMaximum = 5
};
union POWER_STATE {
    SYSTEM_POWER_STATE SystemState;
    DEVICE_POWER_STATE DeviceState;
};
enum POWER_STATE_TYPE { SystemPowerState = 0, DevicePowerState = 1 };
enum POWER_ACTION { PowerActionNone = 0, PowerActionSleep = 2, PowerActionHibernate = 3, PowerActionShutdown = 4 };

// ---- objects
inline constexpr CSHORT IO_TYPE_DEVICE = 3;
inline constexpr CSHORT IO_TYPE_DRIVER = 4;
inline constexpr CSHORT IO_TYPE_FILE = 5;
inline constexpr CSHORT IO_TYPE_IRP = 6;

using DEVICE_TYPE = ULONG;
inline constexpr DEVICE_TYPE FILE_DEVICE_BUS_EXTENDER = 0x0000002A;
inline constexpr DEVICE_TYPE FILE_DEVICE_UNKNOWN = 0x00000022;
inline constexpr ULONG FILE_DEVICE_SECURE_OPEN = 0x00000100;

// Device object flags.
inline constexpr ULONG DO_EXCLUSIVE = 0x00000008;
inline constexpr ULONG DO_DIRECT_IO = 0x00000010;
inline constexpr ULONG DO_BUFFERED_IO = 0x00000004;
inline constexpr ULONG DO_DEVICE_INITIALIZING = 0x00000080;
inline constexpr ULONG DO_BUS_ENUMERATED_DEVICE = 0x00001000;
inline constexpr ULONG DO_POWER_PAGABLE = 0x00002000;

struct DRIVER_OBJECT;
struct DEVICE_OBJECT;
struct IRP;
struct IO_STACK_LOCATION;
using PDRIVER_OBJECT = DRIVER_OBJECT*;
using PDEVICE_OBJECT = DEVICE_OBJECT*;
using PIRP = IRP*;
using PIO_STACK_LOCATION = IO_STACK_LOCATION*;

using PDRIVER_INITIALIZE = NTSTATUS (*)(PDRIVER_OBJECT, PUNICODE_STRING);
using PDRIVER_ADD_DEVICE = NTSTATUS (*)(PDRIVER_OBJECT, PDEVICE_OBJECT);
using PDRIVER_UNLOAD = void (*)(PDRIVER_OBJECT);
using PDRIVER_DISPATCH = NTSTATUS (*)(PDEVICE_OBJECT, PIRP);
using PDRIVER_CANCEL = void (*)(PDEVICE_OBJECT, PIRP);
using PIO_COMPLETION_ROUTINE = NTSTATUS (*)(PDEVICE_OBJECT, PIRP, PVOID);
using DRIVER_INITIALIZE = NTSTATUS(PDRIVER_OBJECT, PUNICODE_STRING);
using DRIVER_ADD_DEVICE = NTSTATUS(PDRIVER_OBJECT, PDEVICE_OBJECT);
using DRIVER_UNLOAD = void(PDRIVER_OBJECT);
using DRIVER_DISPATCH = NTSTATUS(PDEVICE_OBJECT, PIRP);
using DRIVER_CANCEL = void(PDEVICE_OBJECT, PIRP);
using IO_COMPLETION_ROUTINE = NTSTATUS(PDEVICE_OBJECT, PIRP, PVOID);

inline constexpr UCHAR IRP_MJ_CREATE = 0x00;
inline constexpr UCHAR IRP_MJ_CLOSE = 0x02;
inline constexpr UCHAR IRP_MJ_READ = 0x03;
inline constexpr UCHAR IRP_MJ_WRITE = 0x04;
inline constexpr UCHAR IRP_MJ_DEVICE_CONTROL = 0x0e;
inline constexpr UCHAR IRP_MJ_INTERNAL_DEVICE_CONTROL = 0x0f;
inline constexpr UCHAR IRP_MJ_SHUTDOWN = 0x10;
inline constexpr UCHAR IRP_MJ_CLEANUP = 0x12;
inline constexpr UCHAR IRP_MJ_POWER = 0x16;
inline constexpr UCHAR IRP_MJ_SYSTEM_CONTROL = 0x17;
inline constexpr UCHAR IRP_MJ_PNP = 0x1b;
inline constexpr UCHAR IRP_MJ_MAXIMUM_FUNCTION = 0x1b;

inline constexpr UCHAR IRP_MN_START_DEVICE = 0x00;
inline constexpr UCHAR IRP_MN_QUERY_REMOVE_DEVICE = 0x01;
inline constexpr UCHAR IRP_MN_REMOVE_DEVICE = 0x02;
inline constexpr UCHAR IRP_MN_CANCEL_REMOVE_DEVICE = 0x03;
inline constexpr UCHAR IRP_MN_STOP_DEVICE = 0x04;
inline constexpr UCHAR IRP_MN_QUERY_STOP_DEVICE = 0x05;
inline constexpr UCHAR IRP_MN_CANCEL_STOP_DEVICE = 0x06;
inline constexpr UCHAR IRP_MN_READ_CONFIG = 0x0f;
inline constexpr UCHAR IRP_MN_WRITE_CONFIG = 0x10;
inline constexpr UCHAR IRP_MN_SURPRISE_REMOVAL = 0x17;
inline constexpr UCHAR IRP_MN_WAIT_WAKE = 0x00;
inline constexpr UCHAR IRP_MN_POWER_SEQUENCE = 0x01;
inline constexpr UCHAR IRP_MN_SET_POWER = 0x02;
inline constexpr UCHAR IRP_MN_QUERY_POWER = 0x03;
inline constexpr ULONG PCI_WHICHSPACE_CONFIG = 0;

// Stack location control flags.
inline constexpr UCHAR SL_PENDING_RETURNED = 0x01;
inline constexpr UCHAR SL_INVOKE_ON_CANCEL = 0x20;
inline constexpr UCHAR SL_INVOKE_ON_SUCCESS = 0x40;
inline constexpr UCHAR SL_INVOKE_ON_ERROR = 0x80;

struct DRIVER_EXTENSION {
    PDRIVER_OBJECT DriverObject;
    PDRIVER_ADD_DEVICE AddDevice;
    ULONG Count;
    UNICODE_STRING ServiceKeyName;
};
using PDRIVER_EXTENSION = DRIVER_EXTENSION*;

struct DRIVER_OBJECT {
    CSHORT Type;
    CSHORT Size;
    PDEVICE_OBJECT DeviceObject;  // the driver's devices, linked by NextDevice
    ULONG Flags;
    PVOID DriverStart;
    ULONG DriverSize;
    PVOID DriverSection;  // the kernel's own record of the driver
    PDRIVER_EXTENSION DriverExtension;
    UNICODE_STRING DriverName;
    PUNICODE_STRING HardwareDatabase;
    PVOID FastIoDispatch;
    PDRIVER_INITIALIZE DriverInit;
    PVOID DriverStartIo;
    PDRIVER_UNLOAD DriverUnload;
    PDRIVER_DISPATCH MajorFunction[IRP_MJ_MAXIMUM_FUNCTION + 1];
};

struct DEVICE_OBJECT {
    CSHORT Type;
    USHORT Size;
    LONG ReferenceCount;
    PDRIVER_OBJECT DriverObject;
    PDEVICE_OBJECT NextDevice;
    PDEVICE_OBJECT AttachedDevice;  // the device above in the stack
    PIRP CurrentIrp;
    PVOID Timer;
    ULONG Flags;
    ULONG Characteristics;
    PVOID Vpb;
    PVOID DeviceExtension;  // zeroed, of the size asked at creation
    DEVICE_TYPE DeviceType;
    CCHAR StackSize;
    ULONG AlignmentRequirement;
    PVOID DeviceObjectExtension;  // the kernel's own record of the device
};

struct FILE_OBJECT {
    CSHORT Type;
    CSHORT Size;
    PDEVICE_OBJECT DeviceObject;
    PVOID Vpb;
    PVOID FsContext;
    PVOID FsContext2;  // the driver framework's file object
    BOOLEAN DeletePending;
    UNICODE_STRING FileName;  // for a device interface: "\" and the reference string, else empty
    ULONG Flags;
    PVOID FileObjectExtension;  // the kernel's own record of the file
};
using PFILE_OBJECT = FILE_OBJECT*;

struct IO_STATUS_BLOCK {
    union {
        NTSTATUS Status;
        PVOID Pointer;
    };
    ULONG_PTR Information;
};
using PIO_STATUS_BLOCK = IO_STATUS_BLOCK*;

struct IO_STACK_LOCATION {
    UCHAR MajorFunction;
    UCHAR MinorFunction;
    UCHAR Flags;
    UCHAR Control;
    union {
        struct {
            PVOID SecurityContext;
            ULONG Options;
            USHORT FileAttributes;
            USHORT ShareAccess;
            ULONG EaLength;
        } Create;
        struct {
            ULONG OutputBufferLength;
            ULONG InputBufferLength;
            ULONG IoControlCode;
            PVOID Type3InputBuffer;
        } DeviceIoControl;
        struct {
            ULONG WhichSpace;
            PVOID Buffer;
            ULONG Offset;
            ULONG Length;
        } ReadWriteConfig;
        struct {
            PCM_RESOURCE_LIST AllocatedResources;
            PCM_RESOURCE_LIST AllocatedResourcesTranslated;
        } StartDevice;
        struct {
            ULONG SystemContext;
            POWER_STATE_TYPE Type;
            POWER_STATE State;
            POWER_ACTION ShutdownType;
        } Power;
        struct {
            PVOID Argument1;
            PVOID Argument2;
            PVOID Argument3;
            PVOID Argument4;
        } Others;
    } Parameters;
    PDEVICE_OBJECT DeviceObject;
    PFILE_OBJECT FileObject;
    PIO_COMPLETION_ROUTINE CompletionRoutine;
    PVOID Context;
};

// An IRP; its StackCount stack locations follow it in memory.
struct IRP {
    CSHORT Type;
    USHORT Size;
    PVOID MdlAddress;
    ULONG Flags;
    union {
        IRP* MasterIrp;
        LONG IrpCount;
        PVOID SystemBuffer;  // buffered I/O: input on entry, output on completion
    } AssociatedIrp;
    LIST_ENTRY ThreadListEntry;
    IO_STATUS_BLOCK IoStatus;
    KPROCESSOR_MODE RequestorMode;
    BOOLEAN PendingReturned;
    CHAR StackCount;
    CHAR CurrentLocation;
    BOOLEAN Cancel;
    KIRQL CancelIrql;
    PIO_STATUS_BLOCK UserIosb;
    PKEVENT UserEvent;
    PDRIVER_CANCEL CancelRoutine;  // exchanged atomically (IoSetCancelRoutine)
    PVOID UserBuffer;
    union {
        struct {
            PVOID DriverContext[4];
            PVOID Thread;
            LIST_ENTRY ListEntry;  // free for the driver that owns the IRP (a queue of held IRPs)
            PIO_STACK_LOCATION CurrentStackLocation;
            PFILE_OBJECT OriginalFileObject;
        } Overlay;
    } Tail;
};

// ---- devices, names and stacks (PASSIVE_LEVEL)
NTSTATUS IoCreateDevice(PDRIVER_OBJECT driverObject, ULONG deviceExtensionSize, PUNICODE_STRING deviceName,
                        DEVICE_TYPE deviceType, ULONG deviceCharacteristics, BOOLEAN exclusive,
                        PDEVICE_OBJECT* deviceObject);
// The object lives on while files, IRPs or references still hold it; its name goes at once.
void IoDeleteDevice(PDEVICE_OBJECT deviceObject);
// Link names "\DosDevices\X" and "\??\X" are one name: the one that "\\.\X" opens.
NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING symbolicLinkName, PUNICODE_STRING deviceName);
NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING symbolicLinkName);
// Attaches `source` on top of the stack that holds `target`; returns the device it now sits on.
PDEVICE_OBJECT IoAttachDeviceToDeviceStack(PDEVICE_OBJECT source, PDEVICE_OBJECT target);
void IoDetachDevice(PDEVICE_OBJECT targetDevice);  // detaches the device attached above targetDevice
PDEVICE_OBJECT IoGetAttachedDevice(PDEVICE_OBJECT deviceObject);
PDEVICE_OBJECT IoGetAttachedDeviceReference(PDEVICE_OBJECT deviceObject);  // release with ObDereferenceObject
void ObReferenceObject(PVOID object);                                      // device and file objects
void ObDereferenceObject(PVOID object);

// Device interfaces: registered on a physical device object, listed by the I/O manager while enabled.
NTSTATUS IoRegisterDeviceInterface(PDEVICE_OBJECT physicalDeviceObject, const GUID* interfaceClassGuid,
                                   PUNICODE_STRING referenceString, PUNICODE_STRING symbolicLinkName);
NTSTATUS IoSetDeviceInterfaceState(PUNICODE_STRING symbolicLinkName, BOOLEAN enable);

enum DEVICE_REGISTRY_PROPERTY { DevicePropertyDeviceDescription = 0, DevicePropertyAddress = 16, DevicePropertyUINumber = 17 };
// On a physical device object: DevicePropertyUINumber gives a ULONG; a short buffer gives
// STATUS_BUFFER_TOO_SMALL with the needed size in resultLength.
NTSTATUS IoGetDeviceProperty(PDEVICE_OBJECT deviceObject, DEVICE_REGISTRY_PROPERTY property, ULONG bufferLength,
                             PVOID propertyBuffer, PULONG resultLength);

// ---- IRPs
inline PIO_STACK_LOCATION IoGetCurrentIrpStackLocation(PIRP irp) { return irp->Tail.Overlay.CurrentStackLocation; }
inline PIO_STACK_LOCATION IoGetNextIrpStackLocation(PIRP irp) { return irp->Tail.Overlay.CurrentStackLocation - 1; }
inline void IoSkipCurrentIrpStackLocation(PIRP irp) {
    irp->CurrentLocation++;
    irp->Tail.Overlay.CurrentStackLocation++;
}
inline void IoCopyCurrentIrpStackLocationToNext(PIRP irp) {
    PIO_STACK_LOCATION current = IoGetCurrentIrpStackLocation(irp);
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    *next = *current;
    next->Control = 0;
    next->CompletionRoutine = nullptr;
    next->Context = nullptr;
}
inline void IoSetCompletionRoutine(PIRP irp, PIO_COMPLETION_ROUTINE routine, PVOID context, BOOLEAN invokeOnSuccess,
                                   BOOLEAN invokeOnError, BOOLEAN invokeOnCancel) {
    PIO_STACK_LOCATION next = IoGetNextIrpStackLocation(irp);
    next->CompletionRoutine = routine;
    next->Context = context;
    next->Control = 0;
    if (invokeOnSuccess) next->Control |= SL_INVOKE_ON_SUCCESS;
    if (invokeOnError) next->Control |= SL_INVOKE_ON_ERROR;
    if (invokeOnCancel) next->Control |= SL_INVOKE_ON_CANCEL;
}
inline void IoMarkIrpPending(PIRP irp) { IoGetCurrentIrpStackLocation(irp)->Control |= SL_PENDING_RETURNED; }
inline PDRIVER_CANCEL IoSetCancelRoutine(PIRP irp, PDRIVER_CANCEL routine) {
    return __atomic_exchange_n(&irp->CancelRoutine, routine, __ATOMIC_SEQ_CST);
}

NTSTATUS IoCallDriver(PDEVICE_OBJECT deviceObject, PIRP irp);
void IoCompleteRequest(PIRP irp, CCHAR priorityBoost);
// Sets Cancel and, when a cancel routine is set, calls it with the cancel spin lock held (the
// routine releases it with IoReleaseCancelSpinLock(irp->CancelIrql)). TRUE when a routine ran.
BOOLEAN IoCancelIrp(PIRP irp);
void IoAcquireCancelSpinLock(PKIRQL irql);
void IoReleaseCancelSpinLock(KIRQL irql);

// A driver's own IRP: it owns it and frees it (typically in its completion routine).
PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN chargeQuota);
void IoFreeIrp(PIRP irp);
// An IRP for the stack of `deviceObject` (IRP_MJ_PNP and others): at completion the status is
// copied to *ioStatusBlock, the IRP is freed and `event` is set.
PIRP IoBuildSynchronousFsdRequest(ULONG majorFunction, PDEVICE_OBJECT deviceObject, PVOID buffer, ULONG length,
                                  PLARGE_INTEGER startingOffset, PKEVENT event, PIO_STATUS_BLOCK ioStatusBlock);

// ---- work items: run at PASSIVE_LEVEL on a system worker thread
struct IO_WORKITEM;
using PIO_WORKITEM = IO_WORKITEM*;
using PIO_WORKITEM_ROUTINE = void (*)(PDEVICE_OBJECT, PVOID);
using IO_WORKITEM_ROUTINE = void(PDEVICE_OBJECT, PVOID);
enum WORK_QUEUE_TYPE { CriticalWorkQueue = 0, DelayedWorkQueue = 1 };
PIO_WORKITEM IoAllocateWorkItem(PDEVICE_OBJECT deviceObject);  // holds a reference on the device
void IoFreeWorkItem(PIO_WORKITEM item);
void IoQueueWorkItem(PIO_WORKITEM item, PIO_WORKITEM_ROUTINE routine, WORK_QUEUE_TYPE queueType, PVOID context);

// ---- power requests
using PREQUEST_POWER_COMPLETE = void (*)(PDEVICE_OBJECT deviceObject, UCHAR minorFunction, POWER_STATE powerState,
                                         PVOID context, PIO_STATUS_BLOCK ioStatus);
using REQUEST_POWER_COMPLETE = void(PDEVICE_OBJECT, UCHAR, POWER_STATE, PVOID, PIO_STATUS_BLOCK);
// Sends a device power IRP (set or query) to the top of the stack of the physical device object;
// `completion` runs when it completes. The IRPs of one physical device go one at a time: a request
// made while another is in flight is sent when that one has completed. Returns STATUS_PENDING.
NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT deviceObject, UCHAR minorFunction, POWER_STATE powerState,
                           PREQUEST_POWER_COMPLETE completion, PVOID context, PIRP* irp);
POWER_STATE PoSetPowerState(PDEVICE_OBJECT deviceObject, POWER_STATE_TYPE type, POWER_STATE state);
void PoStartNextPowerIrp(PIRP irp);
NTSTATUS PoCallDriver(PDEVICE_OBJECT deviceObject, PIRP irp);
