// The requests of one board: the count of requests in progress, the hold queue in which device-
// control requests wait while the board cannot serve them (before start, below D0 or leaving it,
// during a query-remove), and the run of one request under the board's transaction lock.
//
// The queue state changes under the hold queue's spin lock, and a request reads it and joins the
// queue in one hold of that lock: a request is either run, or held and found by the next runHeld,
// never left in a queue that has just been resumed.
#include "board.h"

namespace ambrix {
namespace {

class SpinHeld {
public:
    explicit SpinHeld(KSPIN_LOCK& lock) : lock_(lock) { KeAcquireSpinLock(&lock_, &irql_); }
    ~SpinHeld() { KeReleaseSpinLock(&lock_, irql_); }
    SpinHeld(const SpinHeld&) = delete;
    SpinHeld& operator=(const SpinHeld&) = delete;

private:
    KSPIN_LOCK& lock_;
    KIRQL irql_;
};

DRIVER_CANCEL cancelHeld;
void cancelHeld(PDEVICE_OBJECT device, PIRP irp) {
    Extension& board = *extensionOf(device);
    {
        SpinHeld held(board.heldLock);
        RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    }
    IoReleaseCancelSpinLock(irp->CancelIrql);
    completeRequest(irp, STATUS_CANCELLED, 0);
}

// Takes the next held request that is not being cancelled; with onlyWhileProcessing, none once the
// queue holds again (the board is leaving D0: the rest waits for the next D0).
PIRP takeHeld(Extension& board, bool onlyWhileProcessing) {
    SpinHeld held(board.heldLock);
    while (!IsListEmpty(&board.held)) {
        if (onlyWhileProcessing && board.queueState != kProcess) return nullptr;
        PIRP irp = CONTAINING_RECORD(RemoveHeadList(&board.held), IRP, Tail.Overlay.ListEntry);
        if (IoSetCancelRoutine(irp, nullptr) != nullptr) return irp;
        // Being cancelled: its cancel routine completes it and needs a list entry to leave.
        InitializeListHead(&irp->Tail.Overlay.ListEntry);
    }
    return nullptr;
}

NTSTATUS runRequest(Extension& board, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const auto& p = stack->Parameters.DeviceIoControl;
    KeWaitForSingleObject(&board.transactionLock, Executive, KernelMode, FALSE, nullptr);
    const fullfip2::Completion c = runControl(board, p.IoControlCode, p.InputBufferLength, p.OutputBufferLength,
                                              static_cast<UCHAR*>(irp->AssociatedIrp.SystemBuffer));
    KeReleaseMutex(&board.transactionLock, FALSE);
    return completeRequest(irp, fullfip2::completionStatus(c.status), c.information);
}

}  // namespace

NTSTATUS completeRequest(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

NTSTATUS passDown(Extension& board, PIRP irp) {
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(board.lower, irp);
}

void beginRequest(Extension& board) {
    SpinHeld held(board.heldLock);
    if (board.inProgress++ == 0) KeClearEvent(&board.stopEvent);
}

void endRequest(Extension& board) {
    SpinHeld held(board.heldLock);
    if (--board.inProgress == 0) KeSetEvent(&board.stopEvent, IO_NO_INCREMENT, FALSE);
}

void waitIdle(Extension& board) { KeWaitForSingleObject(&board.stopEvent, Executive, KernelMode, FALSE, nullptr); }

void setQueueState(Extension& board, QueueState state) {
    SpinHeld held(board.heldLock);
    storeField(board.queueState, static_cast<LONG>(state));
}

NTSTATUS admitControl(Extension& board, PIRP irp) {
    LONG state;
    {
        SpinHeld held(board.heldLock);
        state = board.queueState;
        if (state == kHold) {
            IoMarkIrpPending(irp);
            InsertTailList(&board.held, &irp->Tail.Overlay.ListEntry);
            IoSetCancelRoutine(irp, cancelHeld);
            if (!__atomic_load_n(&irp->Cancel, __ATOMIC_SEQ_CST) || IoSetCancelRoutine(irp, nullptr) == nullptr)
                return STATUS_PENDING;
            // Cancelled before its cancel routine was set: nobody else completes it.
            RemoveEntryList(&irp->Tail.Overlay.ListEntry);
        }
    }
    if (state == kHold) {
        completeRequest(irp, STATUS_CANCELLED, 0);
        return STATUS_PENDING;
    }
    if (state == kFail) return completeRequest(irp, STATUS_NO_SUCH_DEVICE, 0);
    return runRequest(board, irp);
}

void runHeld(Extension& board) {
    while (PIRP irp = takeHeld(board, true)) {
        beginRequest(board);
        runRequest(board, irp);
        endRequest(board);
    }
}

void failHeld(Extension& board) {
    while (PIRP irp = takeHeld(board, false)) completeRequest(irp, STATUS_NO_SUCH_DEVICE, 0);
}

}  // namespace ambrix
