// IRPs: allocation, the trip down a device stack (IoCallDriver), the trip back up with the
// completion routines (IoCompleteRequest), cancellation, and the hand-back to the originator.
//
// Memory of one IRP: [kernel header][IRP][stack locations 1..StackCount]. The current location
// starts one past the last; IoCallDriver moves down before it calls the target driver.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "kernel_internal.h"

namespace qk::kernel {
namespace {

struct IrpHeader {
    IrpOrigin origin;
    PowerRequest power;
};
constexpr std::size_t headerSize = (sizeof(IrpHeader) + 15) & ~std::size_t{15};

IrpHeader& header(PIRP irp) { return *reinterpret_cast<IrpHeader*>(reinterpret_cast<char*>(irp) - headerSize); }

KSPIN_LOCK cancelLock = 0;

[[noreturn]] void stop(const char* message) {
    std::fprintf(stderr, "kernel stop: %s\n", message);
    std::fflush(stderr);
    std::abort();
}

void freeIrp(PIRP irp) { ::operator delete(&header(irp), std::align_val_t{16}); }

// The top of the stack has completed the IRP: hand it back to whoever sent it.
void handBack(PIRP irp) {
    IrpHeader& h = header(irp);
    switch (h.origin) {
    case IrpOrigin::Driver:
        break;  // the driver that allocated it frees it; it asked for no completion routine
    case IrpOrigin::Synchronous: {
        if (irp->UserIosb) *irp->UserIosb = irp->IoStatus;
        PKEVENT event = irp->UserEvent;
        ExFreePool(irp->AssociatedIrp.SystemBuffer);
        freeIrp(irp);
        if (event) KeSetEvent(event, IO_NO_INCREMENT, FALSE);
        break;
    }
    case IrpOrigin::Waited:
        KeSetEvent(irp->UserEvent, IO_NO_INCREMENT, FALSE);  // the sender owns the IRP from here
        break;
    case IrpOrigin::PowerRequest: {
        const PowerRequest request = h.power;
        IO_STATUS_BLOCK status = irp->IoStatus;
        freeIrp(irp);
        if (request.completion)
            request.completion(request.device, request.minorFunction, request.state, request.context, &status);
        startNextPowerRequest(request.device);
        dereferenceDevice(request.device);
        break;
    }
    }
}

}  // namespace

PIRP allocateIrp(CCHAR stackSize, IrpOrigin origin) {
    if (stackSize < 1) stackSize = 1;
    const std::size_t size = headerSize + sizeof(IRP) + std::size_t(stackSize) * sizeof(IO_STACK_LOCATION);
    void* memory = ::operator new(size, std::align_val_t{16}, std::nothrow);
    if (memory == nullptr) return nullptr;
    std::memset(memory, 0, size);
    auto* h = new (memory) IrpHeader{origin, {}};
    auto* irp = reinterpret_cast<PIRP>(reinterpret_cast<char*>(h) + headerSize);
    irp->Type = IO_TYPE_IRP;
    irp->Size = static_cast<USHORT>(sizeof(IRP) + std::size_t(stackSize) * sizeof(IO_STACK_LOCATION));
    irp->StackCount = stackSize;
    irp->CurrentLocation = static_cast<CHAR>(stackSize + 1);
    irp->Tail.Overlay.CurrentStackLocation = reinterpret_cast<PIO_STACK_LOCATION>(irp + 1) + stackSize;
    irp->IoStatus.Status = STATUS_SUCCESS;
    return irp;
}

PowerRequest& powerRequest(PIRP irp) { return header(irp).power; }

PIRP buildIrp(PDEVICE_OBJECT top, UCHAR major, UCHAR minor, PFILE_OBJECT file) {
    PIRP irp = allocateIrp(top->StackSize, IrpOrigin::Waited);
    if (irp == nullptr) return nullptr;
    // PnP requests start as "not handled": a stack that ignores one reports it unsupported.
    irp->IoStatus.Status = major == IRP_MJ_PNP ? STATUS_NOT_SUPPORTED : STATUS_SUCCESS;
    irp->Tail.Overlay.OriginalFileObject = file;
    PIO_STACK_LOCATION first = IoGetNextIrpStackLocation(irp);
    first->MajorFunction = major;
    first->MinorFunction = minor;
    first->FileObject = file;
    return irp;
}

NTSTATUS sendAndWait(PDEVICE_OBJECT top, PIRP irp) {
    KEVENT done;
    KeInitializeEvent(&done, NotificationEvent, FALSE);
    irp->UserEvent = &done;
    IoCallDriver(top, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, FALSE, nullptr);
    return irp->IoStatus.Status;
}

}  // namespace qk::kernel

using namespace qk::kernel;

PIRP IoAllocateIrp(CCHAR stackSize, BOOLEAN) { return allocateIrp(stackSize, IrpOrigin::Driver); }

void IoFreeIrp(PIRP irp) { freeIrp(irp); }

PIRP IoBuildSynchronousFsdRequest(ULONG majorFunction, PDEVICE_OBJECT deviceObject, PVOID buffer, ULONG length,
                                  PLARGE_INTEGER startingOffset, PKEVENT event, PIO_STATUS_BLOCK ioStatusBlock) {
    PIRP irp = allocateIrp(deviceObject->StackSize, IrpOrigin::Synchronous);
    if (irp == nullptr) return nullptr;
    irp->UserEvent = event;
    irp->UserIosb = ioStatusBlock;
    irp->UserBuffer = buffer;
    PIO_STACK_LOCATION first = IoGetNextIrpStackLocation(irp);
    first->MajorFunction = static_cast<UCHAR>(majorFunction);
    first->Parameters.Others.Argument1 = reinterpret_cast<PVOID>(static_cast<ULONG_PTR>(length));
    first->Parameters.Others.Argument2 = startingOffset ? reinterpret_cast<PVOID>(startingOffset->QuadPart) : nullptr;
    return irp;
}

NTSTATUS IoCallDriver(PDEVICE_OBJECT deviceObject, PIRP irp) {
    if (irp->CurrentLocation <= 1) stop("IoCallDriver: no stack location left");
    irp->CurrentLocation--;
    PIO_STACK_LOCATION stack = --irp->Tail.Overlay.CurrentStackLocation;
    stack->DeviceObject = deviceObject;
    return deviceObject->DriverObject->MajorFunction[stack->MajorFunction](deviceObject, irp);
}

void IoCompleteRequest(PIRP irp, CCHAR) {
    if (irp->CurrentLocation > irp->StackCount + 1) stop("IoCompleteRequest: the IRP was already completed");
    if (irp->IoStatus.Status == STATUS_PENDING) stop("IoCompleteRequest with STATUS_PENDING");
    if (irp->CancelRoutine != nullptr) stop("IoCompleteRequest with a cancel routine still set");
    while (irp->CurrentLocation <= irp->StackCount) {
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
        irp->PendingReturned = (stack->Control & SL_PENDING_RETURNED) != 0;
        const PIO_COMPLETION_ROUTINE routine = stack->CompletionRoutine;
        PVOID context = stack->Context;
        const UCHAR control = stack->Control;
        const NTSTATUS status = irp->IoStatus.Status;
        IoSkipCurrentIrpStackLocation(irp);
        const bool invoke = routine != nullptr && ((NT_SUCCESS(status) && (control & SL_INVOKE_ON_SUCCESS)) ||
                                                   (!NT_SUCCESS(status) && (control & SL_INVOKE_ON_ERROR)) ||
                                                   (irp->Cancel && (control & SL_INVOKE_ON_CANCEL)));
        const bool inStack = irp->CurrentLocation <= irp->StackCount;
        if (invoke) {
            // The routine belongs to the driver of the location above: it runs with that device.
            PDEVICE_OBJECT device = inStack ? IoGetCurrentIrpStackLocation(irp)->DeviceObject : nullptr;
            if (routine(device, irp, context) == STATUS_MORE_PROCESSING_REQUIRED) return;
        } else if (irp->PendingReturned && inStack) {
            IoMarkIrpPending(irp);
        }
    }
    handBack(irp);
}

BOOLEAN IoCancelIrp(PIRP irp) {
    KIRQL irql;
    IoAcquireCancelSpinLock(&irql);
    __atomic_store_n(&irp->Cancel, BOOLEAN{TRUE}, __ATOMIC_SEQ_CST);  // drivers test it without the cancel lock
    const PDRIVER_CANCEL routine = IoSetCancelRoutine(irp, nullptr);
    if (routine == nullptr) {
        IoReleaseCancelSpinLock(irql);
        return FALSE;
    }
    irp->CancelIrql = irql;
    routine(IoGetCurrentIrpStackLocation(irp)->DeviceObject, irp);
    return TRUE;
}

void IoAcquireCancelSpinLock(PKIRQL irql) { KeAcquireSpinLock(&cancelLock, irql); }

void IoReleaseCancelSpinLock(KIRQL irql) { KeReleaseSpinLock(&cancelLock, irql); }
