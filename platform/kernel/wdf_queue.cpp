// Framework queues and requests. A sequential queue delivers one request at a time: the next is
// delivered when the driver completes the previous one, on the thread that completes it (or, when
// that happens inside the delivery callback, by the delivering thread once the callback returns).
#include "wdf_internal.h"

namespace qk::wdf {

void complete(WDFREQUEST request, NTSTATUS status) {
    PIRP irp = request->irp;
    WDFQUEUE queue = request->queue;
    if (request->createdFile && !NT_SUCCESS(status)) {
        // A refused create leaves no file behind.
        request->createdFile->wdm->FsContext2 = nullptr;
        delete request->createdFile;
    }
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_ERROR(status) ? 0 : request->information;
    delete request;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    if (queue) queue->finished();
}

}  // namespace qk::wdf

using namespace qk::wdf;

void WDFQUEUE__::arrive(WDFREQUEST request) {
    {
        std::lock_guard lock(lock_);
        if (!purged_) {
            waiting_.push_back(request);
            request = nullptr;
        }
    }
    if (request) {
        request->queue = nullptr;
        complete(request, STATUS_NO_SUCH_DEVICE);
        return;
    }
    pump();
}

void WDFQUEUE__::pump() {
    std::unique_lock lock(lock_);
    if (pumping_) return;  // the thread that pumps will see what changed when it takes the lock again
    pumping_ = true;
    const bool sequential = config.DispatchType != WdfIoQueueDispatchParallel;
    while (running_ && !waiting_.empty() && !(sequential && inDriver_ > 0)) {
        WDFREQUEST request = waiting_.front();
        waiting_.pop_front();
        ++inDriver_;
        lock.unlock();
        PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(request->irp);
        if (config.EvtIoDeviceControl && stack->MajorFunction == IRP_MJ_DEVICE_CONTROL) {
            qk::kernel::PassiveScope passive;
            config.EvtIoDeviceControl(this, request, stack->Parameters.DeviceIoControl.OutputBufferLength,
                                      stack->Parameters.DeviceIoControl.InputBufferLength,
                                      stack->Parameters.DeviceIoControl.IoControlCode);
        } else {
            complete(request, STATUS_INVALID_DEVICE_REQUEST);
        }
        lock.lock();
    }
    pumping_ = false;
}

void WDFQUEUE__::finished() {
    {
        std::lock_guard lock(lock_);
        --inDriver_;
        idle_.notify_all();
    }
    pump();
}

void WDFQUEUE__::start() {
    {
        std::lock_guard lock(lock_);
        running_ = true;
        purged_ = false;
    }
    pump();
}

void WDFQUEUE__::stopAndWait() {
    std::unique_lock lock(lock_);
    running_ = false;
    idle_.wait(lock, [this] { return inDriver_ == 0; });
}

void WDFQUEUE__::purge(NTSTATUS status) {
    std::deque<WDFREQUEST> refused;
    {
        std::lock_guard lock(lock_);
        running_ = false;
        purged_ = true;
        refused.swap(waiting_);
    }
    for (WDFREQUEST request : refused) {
        request->queue = nullptr;
        complete(request, status);
    }
    stopAndWait();
}

NTSTATUS WdfIoQueueCreate(WDFDEVICE device, PWDF_IO_QUEUE_CONFIG config, PWDF_OBJECT_ATTRIBUTES queueAttributes,
                          WDFQUEUE* queue) {
    qk::requireIrqlAtMost(DISPATCH_LEVEL, __func__);
    if (device == nullptr || config == nullptr || config->DispatchType == WdfIoQueueDispatchInvalid)
        return STATUS_INVALID_PARAMETER;
    if (config->DefaultQueue && device->defaultQueue) return STATUS_INVALID_DEVICE_STATE;
    auto* q = new WDFQUEUE__;
    q->device = device;
    q->config = *config;
    q->setAttributes(queueAttributes);
    device->queues.push_back(q);
    if (config->DefaultQueue) device->defaultQueue = q;
    if (device->started && !device->asleep) q->start();
    if (queue) *queue = q;
    return STATUS_SUCCESS;
}

WDFDEVICE WdfIoQueueGetDevice(WDFQUEUE queue) { return queue->device; }

namespace {
NTSTATUS retrieve(WDFREQUEST request, SIZE_T minimum, PVOID* buffer, SIZE_T* length, bool input) {
    if (buffer) *buffer = nullptr;
    if (length) *length = 0;
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(request->irp);
    if (stack->MajorFunction != IRP_MJ_DEVICE_CONTROL) return STATUS_INVALID_DEVICE_REQUEST;
    const SIZE_T size = input ? stack->Parameters.DeviceIoControl.InputBufferLength
                              : stack->Parameters.DeviceIoControl.OutputBufferLength;
    if (size == 0 || size < minimum) return STATUS_BUFFER_TOO_SMALL;
    if (buffer) *buffer = request->irp->AssociatedIrp.SystemBuffer;
    if (length) *length = size;
    return STATUS_SUCCESS;
}
}  // namespace

NTSTATUS WdfRequestRetrieveInputBuffer(WDFREQUEST request, SIZE_T minimumRequiredSize, PVOID* buffer, SIZE_T* length) {
    return retrieve(request, minimumRequiredSize, buffer, length, true);
}

NTSTATUS WdfRequestRetrieveOutputBuffer(WDFREQUEST request, SIZE_T minimumRequiredSize, PVOID* buffer, SIZE_T* length) {
    return retrieve(request, minimumRequiredSize, buffer, length, false);
}

void WdfRequestSetInformation(WDFREQUEST request, ULONG_PTR information) { request->information = information; }

void WdfRequestComplete(WDFREQUEST request, NTSTATUS status) { complete(request, status); }

void WdfRequestCompleteWithInformation(WDFREQUEST request, NTSTATUS status, ULONG_PTR information) {
    request->information = information;
    complete(request, status);
}

WDFFILEOBJECT WdfRequestGetFileObject(WDFREQUEST request) {
    PFILE_OBJECT file = IoGetCurrentIrpStackLocation(request->irp)->FileObject;
    return file ? static_cast<WDFFILEOBJECT>(file->FsContext2) : nullptr;
}
