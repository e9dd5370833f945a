// Power requests: device power IRPs asked for by a driver, the power state it reports, and the
// power-specific forms of IoCallDriver.
#include "kernel_internal.h"

namespace qk::kernel {
namespace {

void send(PIRP request) {
    PDEVICE_OBJECT top = powerRequest(request).top;
    IoCallDriver(top, request);  // the request may be completed and freed on return
    ObDereferenceObject(top);
}

}  // namespace

void startNextPowerRequest(PDEVICE_OBJECT physicalDevice) {
    DeviceRecord& rec = record(physicalDevice);
    PIRP next = nullptr;
    {
        std::lock_guard lock(rec.powerLock);
        if (rec.powerWaiting.empty()) {
            rec.powerInFlight = false;
            return;
        }
        next = rec.powerWaiting.front();
        rec.powerWaiting.pop_front();
    }
    send(next);
}

}  // namespace qk::kernel

using namespace qk::kernel;

// A request made while another device power IRP of the same physical device is in flight waits for
// it to complete, so that a driver sees its device's power transitions one at a time.
NTSTATUS PoRequestPowerIrp(PDEVICE_OBJECT deviceObject, UCHAR minorFunction, POWER_STATE powerState,
                           PREQUEST_POWER_COMPLETE completion, PVOID context, PIRP* irp) {
    qk::requireIrqlAtMost(DISPATCH_LEVEL, __func__);
    if (irp) *irp = nullptr;
    if (minorFunction != IRP_MN_SET_POWER && minorFunction != IRP_MN_QUERY_POWER) return STATUS_INVALID_PARAMETER_2;
    PDEVICE_OBJECT top = IoGetAttachedDeviceReference(deviceObject);
    PIRP request = allocateIrp(top->StackSize, IrpOrigin::PowerRequest);
    if (request == nullptr) {
        ObDereferenceObject(top);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    referenceDevice(deviceObject);  // released after the completion function has run
    PowerRequest& r = powerRequest(request);
    r.completion = completion;
    r.context = context;
    r.device = deviceObject;
    r.top = top;
    r.minorFunction = minorFunction;
    r.state = powerState;
    request->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION first = IoGetNextIrpStackLocation(request);
    first->MajorFunction = IRP_MJ_POWER;
    first->MinorFunction = minorFunction;
    first->Parameters.Power.Type = DevicePowerState;
    first->Parameters.Power.State = powerState;
    if (irp) *irp = request;
    DeviceRecord& rec = record(deviceObject);
    {
        std::lock_guard lock(rec.powerLock);
        if (rec.powerInFlight) {
            rec.powerWaiting.push_back(request);
            return STATUS_PENDING;
        }
        rec.powerInFlight = true;
    }
    send(request);
    return STATUS_PENDING;
}

// Returns the previous state of the kind reported (the system state is not the device's to report).
POWER_STATE PoSetPowerState(PDEVICE_OBJECT deviceObject, POWER_STATE_TYPE type, POWER_STATE state) {
    POWER_STATE previous = state;
    if (type == DevicePowerState)
        previous.DeviceState = static_cast<DEVICE_POWER_STATE>(record(deviceObject).devicePower.exchange(state.DeviceState));
    return previous;
}

void PoStartNextPowerIrp(PIRP) {}

NTSTATUS PoCallDriver(PDEVICE_OBJECT deviceObject, PIRP irp) { return IoCallDriver(deviceObject, irp); }
