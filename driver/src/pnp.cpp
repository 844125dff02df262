// Plug and play, the I/O count and the request gate.
#include <cstring>

#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

Status signal_event(DeviceObject*, Irp*, void* event) {
    KeSetEvent(static_cast<Event*>(event), 0, false);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

void set_flags(pipedrv_device_extension* ext, void (*change)(pipedrv_device_extension*)) {
    spin_guard hold(&ext->state_lock);
    change(ext);
}

// Completes a request this handler finished, and lowers the count once.
Status finish(pipedrv_device_extension* ext, Irp* irp, Status status) {
    pipedrv_complete(irp, status);
    pipedrv_io_decrement(ext);
    return status;
}

void wait_for(Event* event) { KeWaitForSingleObject(event, Executive, KernelMode, false, nullptr); }

Status on_start(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    Status status = pipedrv_forward_and_wait(device, irp);
    if (NT_SUCCESS(status)) status = pipedrv_configure(device);
    if (NT_SUCCESS(status)) {
        set_flags(ext, [](pipedrv_device_extension* e) {
            e->started = 1;
            e->stop_pending = 0;  // the gate opens only now that the table is rebuilt
            e->device_state = DEVICE_WORKING;
        });
        InterlockedExchangePointer(&ext->wait_wake_irp, nullptr);
        InterlockedExchange(&ext->wait_wake_race, 0);
        InterlockedExchange(&ext->wait_wake_cancel, 0);
        InterlockedExchange(&ext->wait_wake_armed, 0);
        if (ext->remote_wakeup) pipedrv_arm_wait_wake(device);
    }
    return finish(ext, irp, status);
}

// Query-remove and query-stop: close the gate, then wait until no other request is
// inside. The request's own count is lowered first and never again.
Status on_query_drain(DeviceObject* device, Irp* irp, bool remove) {
    auto* ext = extension_of(device);
    if (!ext->started) return pipedrv_pass_down(device, irp);
    if (remove)
        set_flags(ext, [](pipedrv_device_extension* e) { e->remove_pending = 1; });
    else
        set_flags(ext, [](pipedrv_device_extension* e) { e->stop_pending = 1; });
    pipedrv_io_decrement(ext);
    wait_for(&ext->stop_event);
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    return IoCallDriver(ext->lower_device, irp);
}

Status on_remove(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    if (!ext->surprise_removed) {
        set_flags(ext, [](pipedrv_device_extension* e) { e->device_state = DEVICE_REMOVED; });
        if (ext->remote_wakeup) pipedrv_disarm_wait_wake(device);
        IoSetDeviceInterfaceState(&ext->link, false);
    }
    set_flags(ext, [](pipedrv_device_extension* e) { e->removed = 1; });
    pipedrv_abort_open_pipes(device);  // before the wait, or a pending read holds it for ever
    pipedrv_io_decrement(ext);          // this request's count
    pipedrv_io_decrement(ext);          // the idle count
    wait_for(&ext->remove_event);
    pipedrv_free_config(device);
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoSkipCurrentIrpStackLocation(irp);
    DeviceObject* lower = ext->lower_device;
    Status status = IoCallDriver(lower, irp);
    // The bus has let go of any wait-wake request; its callback still uses the device.
    wait_for(&ext->wait_wake_done);
    IoDetachDevice(lower);
    ext->~pipedrv_device_extension();
    IoDeleteDevice(device);
    return status;
}

Status on_stop(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    if (ext->remote_wakeup) pipedrv_disarm_wait_wake(device);
    // The gate stays closed (stop pending) while the table goes, and after it.
    Status status = pipedrv_unconfigure(device);
    if (!NT_SUCCESS(status)) return finish(ext, irp, status);
    set_flags(ext, [](pipedrv_device_extension* e) {
        e->started = 0;
        e->stop_pending = 0;
        e->device_state = DEVICE_NOT_WORKING;
    });
    irp->IoStatus.Status = STATUS_SUCCESS;
    return pipedrv_pass_down(device, irp);
}

Status on_cancel_stop(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    if (!ext->started) return pipedrv_pass_down(device, irp);
    Status status = pipedrv_forward_and_wait(device, irp);
    if (NT_SUCCESS(status))
        set_flags(ext, [](pipedrv_device_extension* e) {
            e->stop_pending = 0;
            e->device_state = DEVICE_WORKING;
        });
    return finish(ext, irp, status);
}

Status on_capabilities(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    DeviceCapabilities* caps = IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceCapabilities.Capabilities;
    if (!caps || caps->Version < 1 || caps->Size < sizeof(DeviceCapabilities))
        return finish(ext, irp, STATUS_UNSUCCESSFUL);
    caps->SurpriseRemovalOK = 1;
    Status status = pipedrv_forward_and_wait(device, irp);
    if (NT_SUCCESS(status)) {
        ext->capabilities = *caps;
        caps->SurpriseRemovalOK = 1;
    }
    return finish(ext, irp, status);
}

Status on_surprise_removal(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    if (ext->remote_wakeup) pipedrv_disarm_wait_wake(device);
    set_flags(ext, [](pipedrv_device_extension* e) {
        e->removed = 1;
        e->surprise_removed = 1;
    });
    IoSetDeviceInterfaceState(&ext->link, false);
    pipedrv_abort_open_pipes(device);
    irp->IoStatus.Status = STATUS_SUCCESS;
    return pipedrv_pass_down(device, irp);
}

}  // namespace

void pipedrv_io_increment(pipedrv_device_extension* ext) {
    Irql old;
    KeAcquireSpinLock(&ext->io_lock, &old);
    if (InterlockedIncrement(&ext->io_count) == 2) KeClearEvent(&ext->stop_event);
    KeReleaseSpinLock(&ext->io_lock, old);
}

std::int32_t pipedrv_io_decrement(pipedrv_device_extension* ext) {
    Irql old;
    KeAcquireSpinLock(&ext->io_lock, &old);
    std::int32_t count = InterlockedDecrement(&ext->io_count);
    if (count == 1) KeSetEvent(&ext->stop_event, 0, false);
    if (count == 0) KeSetEvent(&ext->remove_event, 0, false);
    KeReleaseSpinLock(&ext->io_lock, old);
    return count;
}

bool pipedrv_gate_open_locked(const pipedrv_device_extension* ext) {
    return ext->started && !ext->removed && !ext->remove_pending && !ext->stop_pending;
}

bool pipedrv_can_accept_requests(pipedrv_device_extension* ext) {
    spin_guard hold(&ext->state_lock);
    return pipedrv_gate_open_locked(ext);
}

bool pipedrv_device_working(pipedrv_device_extension* ext) {
    spin_guard hold(&ext->state_lock);
    return ext->device_state == DEVICE_WORKING;
}

Status pipedrv_forward_and_wait(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, signal_event, &done, true, true, true);
    if (IoCallDriver(ext->lower_device, irp) == STATUS_PENDING) wait_for(&done);
    return irp->IoStatus.Status;
}

Status pipedrv_pass_down(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    IoSkipCurrentIrpStackLocation(irp);
    Status status = IoCallDriver(ext->lower_device, irp);
    pipedrv_io_decrement(ext);
    return status;
}

void pipedrv_abort_pipes(DeviceObject* device, bool open_only) {
    auto* ext = extension_of(device);
    for (std::uint32_t i = 0;; ++i) {
        // One pipe at a time under the lock: the abort itself waits for the bus.
        PipeHandle handle = nullptr;
        {
            spin_guard hold(&ext->state_lock);
            pipedrv_config_info* config = ext->config;
            if (!config || !config->interface_info || i >= config->interface_info->NumberOfPipes) return;
            PipeInformation* pipe = pipeAt(config->interface_info, i);
            if (open_only && !pipe->PipeFlags) continue;
            handle = pipe->PipeHandle;
        }
        auto* urb = static_cast<Urb*>(ExAllocatePoolWithTag(pipedrv_pool_type, sizeof(UrbPipeRequest), PDRV_TAG));
        if (!urb) continue;
        std::memset(urb, 0, sizeof(UrbPipeRequest));
        urb->UrbPipeRequest.Hdr.Length = sizeof(UrbPipeRequest);
        urb->UrbPipeRequest.Hdr.Function = URB_FUNCTION_ABORT_PIPE;
        urb->UrbPipeRequest.PipeHandle = handle;
        pipedrv_submit_urb_sync(device, urb);
        ExFreePoolWithTag(urb, PDRV_TAG);
    }
}

void pipedrv_abort_open_pipes(DeviceObject* device) { pipedrv_abort_pipes(device, true); }

Status pipedrv_pnp(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    switch (IoGetCurrentIrpStackLocation(irp)->MinorFunction) {
    case IRP_MN_START_DEVICE:
        return on_start(device, irp);
    case IRP_MN_QUERY_REMOVE_DEVICE:
        return on_query_drain(device, irp, true);
    case IRP_MN_REMOVE_DEVICE:
        return on_remove(device, irp);
    case IRP_MN_CANCEL_REMOVE_DEVICE:
        if (ext->started) set_flags(ext, [](pipedrv_device_extension* e) { e->remove_pending = 0; });
        irp->IoStatus.Status = STATUS_SUCCESS;
        return pipedrv_pass_down(device, irp);
    case IRP_MN_STOP_DEVICE:
        return on_stop(device, irp);
    case IRP_MN_QUERY_STOP_DEVICE:
        return on_query_drain(device, irp, false);
    case IRP_MN_CANCEL_STOP_DEVICE:
        return on_cancel_stop(device, irp);
    case IRP_MN_QUERY_CAPABILITIES:
        return on_capabilities(device, irp);
    case IRP_MN_SURPRISE_REMOVAL:
        return on_surprise_removal(device, irp);
    default:
        return pipedrv_pass_down(device, irp);
    }
}

}  // namespace pipedrv
