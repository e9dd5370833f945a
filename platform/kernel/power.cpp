// Power requests: device power IRPs asked for by a driver, the power state it reports, and the
// power-specific forms of IoCallDriver.
#include "kernel_internal.h"

using namespace qk::kernel;

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
    r.minorFunction = minorFunction;
    r.state = powerState;
    request->IoStatus.Status = STATUS_NOT_SUPPORTED;
    PIO_STACK_LOCATION first = IoGetNextIrpStackLocation(request);
    first->MajorFunction = IRP_MJ_POWER;
    first->MinorFunction = minorFunction;
    first->Parameters.Power.Type = DevicePowerState;
    first->Parameters.Power.State = powerState;
    if (irp) *irp = request;
    IoCallDriver(top, request);
    ObDereferenceObject(top);
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
