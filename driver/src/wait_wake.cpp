// Wait-wake: one request armed at the bus while the device may wake the system. The
// pending request is exchanged atomically, and the race and cancel-requested flags
// settle a completion against a disarm, so that exactly one side completes the request.
#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

void power_up_done(DeviceObject*, std::uint8_t, PowerState, void* device, IoStatusBlock*) {
    pipedrv_io_decrement(extension_of(static_cast<DeviceObject*>(device)));
}

// The wait-wake request of ours has ended, one way or the other.
void wake_callback(DeviceObject*, std::uint8_t, PowerState, void* context, IoStatusBlock* io) {
    auto* device = static_cast<DeviceObject*>(context);
    auto* ext = extension_of(device);
    InterlockedExchange(&ext->wait_wake_armed, 0);
    bool rearmed = false;
    if (NT_SUCCESS(io->Status) && ext->device_power != PowerDeviceD0 && pipedrv_can_accept_requests(ext)) {
        pipedrv_io_increment(ext);
        PowerState ps;
        ps.DeviceState = PowerDeviceD0;
        if (!NT_SUCCESS(PoRequestPowerIrp(ext->pdo, IRP_MN_SET_POWER, ps, power_up_done, device, nullptr)))
            pipedrv_io_decrement(ext);
        if (ext->remote_wakeup) rearmed = NT_SUCCESS(pipedrv_arm_wait_wake(device));
    }
    if (!rearmed) KeSetEvent(&ext->wait_wake_done, 0, false);  // last: remove may be waiting
}

// The bus finished the request: whoever takes it from the pending slot completes it.
Status wait_wake_complete(DeviceObject* device, Irp* irp, void*) {
    auto* ext = extension_of(device);
    if (InterlockedExchangePointer(&ext->wait_wake_irp, nullptr) == irp) {
        PoStartNextPowerIrp(irp);
        return irp->IoStatus.Status;
    }
    // A disarm took it. If the disarm has not reached its race check yet, it completes
    // the request; otherwise it has passed it, and the request completes here.
    if (InterlockedExchange(&ext->wait_wake_race, 1) == 0) return STATUS_MORE_PROCESSING_REQUIRED;
    PoStartNextPowerIrp(irp);
    return irp->IoStatus.Status;
}

void complete_cancelled(Irp* irp) {
    PoStartNextPowerIrp(irp);
    pipedrv_complete(irp, STATUS_CANCELLED);
}

}  // namespace

Status pipedrv_arm_wait_wake(DeviceObject* device) {
    auto* ext = extension_of(device);
    if (InterlockedExchange(&ext->wait_wake_armed, 1) == 1) return STATUS_DEVICE_BUSY;
    InterlockedExchange(&ext->wait_wake_race, 0);
    InterlockedExchange(&ext->wait_wake_cancel, 0);
    KeClearEvent(&ext->wait_wake_done);
    PowerState ps;
    ps.SystemState = ext->capabilities.SystemWake;
    Status status = PoRequestPowerIrp(ext->pdo, IRP_MN_WAIT_WAKE, ps, wake_callback, device, nullptr);
    if (!NT_SUCCESS(status)) {
        InterlockedExchange(&ext->wait_wake_armed, 0);
        KeSetEvent(&ext->wait_wake_done, 0, false);
    }
    return status;
}

void pipedrv_disarm_wait_wake(DeviceObject* device) {
    auto* ext = extension_of(device);
    InterlockedExchange(&ext->wait_wake_cancel, 1);
    auto* irp = static_cast<Irp*>(InterlockedExchangePointer(&ext->wait_wake_irp, nullptr));
    if (!irp) return;
    IoCancelIrp(irp);
    // An exchange, not a read: a completion that comes after this sees the flag set and
    // completes the request itself.
    if (InterlockedExchange(&ext->wait_wake_race, 1) == 1) complete_cancelled(irp);
}

Status pipedrv_wait_wake_pass_down(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    InterlockedExchangePointer(&ext->wait_wake_irp, irp);
    if (InterlockedExchange(&ext->wait_wake_cancel, 1) == 1 &&
        InterlockedExchangePointer(&ext->wait_wake_irp, nullptr) == irp) {
        // A disarm came first.
        complete_cancelled(irp);
        pipedrv_io_decrement(ext);
        return STATUS_CANCELLED;
    }
    IoMarkIrpPending(irp);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, wait_wake_complete, nullptr, true, true, true);
    PoStartNextPowerIrp(irp);
    PoCallDriver(ext->lower_device, irp);
    pipedrv_io_decrement(ext);
    return STATUS_PENDING;
}

}  // namespace pipedrv
