// Power: system requests mapped to device requests through the capabilities, I/O
// drained before the device leaves D0, and the device power requests of the sleep and
// wake control codes.
#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

struct power_down_context {
    DeviceObject* device;
    Irp* irp;
    WorkItem* item;
};

// A device power request of the sleep or wake code, waited for by the caller.
struct power_wait_context {
    Event* done;
    Status* status;
};

void* allocate(std::size_t size) { return ExAllocatePoolWithTag(pipedrv_pool_type, size, PDRV_TAG); }

void set_device_state(pipedrv_device_extension* ext, std::int32_t state) {
    spin_guard hold(&ext->state_lock);
    ext->device_state = state;
}

// Ends a power request here: the next one may start, and the request's count goes.
Status finish(pipedrv_device_extension* ext, Irp* irp, Status status) {
    PoStartNextPowerIrp(irp);
    pipedrv_complete(irp, status);
    pipedrv_io_decrement(ext);
    return status;
}

Status pass_down(DeviceObject* device, Irp* irp, IoCompletionRoutine completion) {
    IoMarkIrpPending(irp);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, completion, nullptr, true, true, true);
    PoCallDriver(extension_of(device)->lower_device, irp);
    return STATUS_PENDING;
}

// The device state the capabilities give for a system state. A bus that left it open
// gets D0 for working and D3 for anything deeper.
DevicePower device_state_for(pipedrv_device_extension* ext, SystemPower state) {
    DevicePower d = state < PowerSystemMaximum ? ext->capabilities.DeviceState[state] : PowerDeviceUnspecified;
    if (d == PowerDeviceUnspecified) d = state == PowerSystemWorking ? PowerDeviceD0 : PowerDeviceD3;
    return d;
}

void record_device_power(DeviceObject* device, DevicePower state) {
    extension_of(device)->device_power = state;
    PowerState ps;
    ps.DeviceState = state;
    PoSetPowerState(device, DevicePowerState, ps);
}

// ---- system requests ----

void system_device_done(DeviceObject*, std::uint8_t, PowerState, void* context, IoStatusBlock* io) {
    auto* irp = static_cast<Irp*>(context);
    auto* ext = extension_of(IoGetCurrentIrpStackLocation(irp)->DeviceObject);
    finish(ext, irp, io->Status);
}

Status system_complete(DeviceObject* device, Irp* irp, void*) {
    auto* ext = extension_of(device);
    Status status = irp->IoStatus.Status;
    if (!NT_SUCCESS(status)) {
        PoStartNextPowerIrp(irp);
        pipedrv_io_decrement(ext);
        return status;
    }
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    SystemPower system = s->Parameters.Power.State.SystemState;
    if (s->MinorFunction == IRP_MN_SET_POWER) ext->system_power = system;
    PowerState ps;
    ps.DeviceState = device_state_for(ext, system);
    status = PoRequestPowerIrp(ext->pdo, s->MinorFunction, ps, system_device_done, irp, nullptr);
    if (!NT_SUCCESS(status)) {
        irp->IoStatus.Status = status;
        PoStartNextPowerIrp(irp);
        pipedrv_io_decrement(ext);
        return status;
    }
    return STATUS_MORE_PROCESSING_REQUIRED;  // completed when the device request ends
}

// Before a system query: no wake from deeper than the bus can wake the system from;
// otherwise a wake armed for the way down.
void adjust_wait_wake(DeviceObject* device, SystemPower state) {
    auto* ext = extension_of(device);
    if (!ext->remote_wakeup) return;
    if (pipedrv_deeper(state, ext->capabilities.SystemWake))
        pipedrv_disarm_wait_wake(device);
    else if (pipedrv_deeper(state, ext->system_power))
        pipedrv_arm_wait_wake(device);
}

// ---- device requests ----

Status power_up_complete(DeviceObject* device, Irp* irp, void*) {
    auto* ext = extension_of(device);
    Status status = irp->IoStatus.Status;
    if (NT_SUCCESS(status)) {
        DevicePower state = IoGetCurrentIrpStackLocation(irp)->Parameters.Power.State.DeviceState;
        record_device_power(device, state);
        if (state == PowerDeviceD0) set_device_state(ext, DEVICE_WORKING);
        irp->IoStatus.Status = status = STATUS_SUCCESS;
        irp->IoStatus.Information = 0;
    }
    PoStartNextPowerIrp(irp);
    pipedrv_io_decrement(ext);
    return status;
}

Status power_down_complete(DeviceObject* device, Irp* irp, void*) {
    auto* ext = extension_of(device);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    if (s->MinorFunction == IRP_MN_SET_POWER) {
        if (NT_SUCCESS(irp->IoStatus.Status))
            record_device_power(device, s->Parameters.Power.State.DeviceState);
        else if (ext->device_power == PowerDeviceD0)
            set_device_state(ext, DEVICE_WORKING);  // it never left D0: its I/O may go on
    }
    PoStartNextPowerIrp(irp);
    pipedrv_io_decrement(ext);
    return irp->IoStatus.Status;
}

// The transfers end before the request goes down. Two counts belong to the power path
// (the system or control request, and this device request), so the stop event fires
// once nothing else is inside.
void power_down_work(DeviceObject* device, void* context) {
    auto* work = static_cast<power_down_context*>(context);
    auto* ext = extension_of(device);
    Irp* irp = work->irp;
    IoFreeWorkItem(work->item);
    ExFreePoolWithTag(work, PDRV_TAG);
    pipedrv_io_decrement(ext);
    pipedrv_io_decrement(ext);
    pipedrv_abort_all_pipes(device);
    KeWaitForSingleObject(&ext->stop_event, Executive, KernelMode, false, nullptr);
    pipedrv_io_increment(ext);
    pipedrv_io_increment(ext);
    pass_down(device, irp, power_down_complete);
}

Status queue_power_down(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    auto* work = static_cast<power_down_context*>(allocate(sizeof(power_down_context)));
    WorkItem* item = work ? IoAllocateWorkItem(device) : nullptr;
    if (!item) {
        if (work) ExFreePoolWithTag(work, PDRV_TAG);
        return finish(ext, irp, STATUS_INSUFFICIENT_RESOURCES);
    }
    *work = power_down_context{device, irp, item};
    set_device_state(ext, DEVICE_NOT_WORKING);
    IoMarkIrpPending(irp);
    IoQueueWorkItem(item, power_down_work, DelayedWorkQueue, work);
    return STATUS_PENDING;
}

Status device_set(DeviceObject* device, Irp* irp, DevicePower state) {
    auto* ext = extension_of(device);
    DevicePower current = ext->device_power;
    if (pipedrv_deeper(current, state)) return pass_down(device, irp, power_up_complete);
    if (current == PowerDeviceD0 && state != PowerDeviceD0) return queue_power_down(device, irp);
    if (current == PowerDeviceD0) set_device_state(ext, DEVICE_WORKING);
    return pass_down(device, irp, power_down_complete);
}

Status device_query(DeviceObject* device, Irp* irp, DevicePower state) {
    auto* ext = extension_of(device);
    if (ext->remote_wakeup && pipedrv_deeper(state, ext->capabilities.DeviceWake)) {
        pipedrv_disarm_wait_wake(device);
        pipedrv_abort_open_pipes(device);
    }
    // A query already stops the transfers; a vetoed query is followed by a set to the
    // working state, which makes the device working again.
    if (!pipedrv_deeper(ext->device_power, state)) return queue_power_down(device, irp);
    PoStartNextPowerIrp(irp);
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    Status status = PoCallDriver(ext->lower_device, irp);
    pipedrv_io_decrement(ext);
    return status;
}

void power_wait_done(DeviceObject*, std::uint8_t, PowerState, void* context, IoStatusBlock* io) {
    auto* wait = static_cast<power_wait_context*>(context);
    Event* done = wait->done;
    *wait->status = io->Status;
    ExFreePoolWithTag(wait, PDRV_TAG);
    KeSetEvent(done, 0, false);
}

}  // namespace

void pipedrv_abort_all_pipes(DeviceObject* device) { pipedrv_abort_pipes(device, false); }

Status pipedrv_set_device_power_and_wait(DeviceObject* device, DevicePower state) {
    auto* ext = extension_of(device);
    auto* wait = static_cast<power_wait_context*>(allocate(sizeof(power_wait_context)));
    if (!wait) return STATUS_INSUFFICIENT_RESOURCES;
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    Status result = STATUS_PENDING;
    *wait = power_wait_context{&done, &result};
    PowerState ps;
    ps.DeviceState = state;
    Status status = PoRequestPowerIrp(ext->pdo, IRP_MN_SET_POWER, ps, power_wait_done, wait, nullptr);
    if (!NT_SUCCESS(status)) {  // no callback will run
        ExFreePoolWithTag(wait, PDRV_TAG);
        return status;
    }
    KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);
    return result;
}

Status pipedrv_power(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    bool system = s->Parameters.Power.Type == SystemPowerState;
    switch (s->MinorFunction) {
    case IRP_MN_SET_POWER:
        if (system) return pass_down(device, irp, system_complete);
        return device_set(device, irp, s->Parameters.Power.State.DeviceState);
    case IRP_MN_QUERY_POWER:
        if (system) {
            adjust_wait_wake(device, s->Parameters.Power.State.SystemState);
            return pass_down(device, irp, system_complete);
        }
        return device_query(device, irp, s->Parameters.Power.State.DeviceState);
    case IRP_MN_WAIT_WAKE:
        return pipedrv_wait_wake_pass_down(device, irp);
    default: {
        PoStartNextPowerIrp(irp);
        IoSkipCurrentIrpStackLocation(irp);
        Status status = PoCallDriver(ext->lower_device, irp);
        pipedrv_io_decrement(ext);
        return status;
    }
    }
}

}  // namespace pipedrv
