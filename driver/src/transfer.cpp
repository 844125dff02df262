// Pipe reads and writes: one request, sent down again for each segment.
#include <algorithm>
#include <cstring>

#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

struct error_work_context {
    DeviceObject* device;
    Irp* irp;
    pipedrv_transfer_context* transfer;
    WorkItem* item;
};

void free_transfer(pipedrv_transfer_context* t) {
    if (t->partial_mdl) IoFreeMdl(t->partial_mdl);
    ExFreePoolWithTag(t->urb, PDRV_TAG);
    ExFreePoolWithTag(t, PDRV_TAG);
}

void send_segment(Irp* irp, pipedrv_transfer_context* t) {
    auto* ext = extension_of(t->device);
    IoStackLocation* next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = t->urb;
    IoSetCompletionRoutine(irp, pipedrv_transfer_complete, t, true, true, true);
    IoCallDriver(ext->lower_device, irp);
}

// The pipe is reset at passive level, then the request completes with the status of
// the failed segment.
void pipedrv_transfer_error_work(DeviceObject* device, void* context) {
    auto* work = static_cast<error_work_context*>(context);
    auto* ext = extension_of(device);
    PipeHandle pipe = pipeAt(ext->config->interface_info, work->transfer->pipe->pipe_index)->PipeHandle;
    pipedrv_reset_pipe(device, pipe);
    IoCompleteRequest(work->irp, IO_NO_INCREMENT);
    IoFreeWorkItem(work->item);
    free_transfer(work->transfer);
    ExFreePoolWithTag(work, PDRV_TAG);
    // Last: once the count drops, remove may free the device under us.
    pipedrv_io_decrement(ext);
}

bool queue_error_work(DeviceObject* device, Irp* irp, pipedrv_transfer_context* t) {
    auto* work = static_cast<error_work_context*>(
        ExAllocatePoolWithTag(pipedrv_pool_type, sizeof(error_work_context), PDRV_TAG));
    if (!work) return false;
    work->item = IoAllocateWorkItem(device);
    if (!work->item) {
        ExFreePoolWithTag(work, PDRV_TAG);
        return false;
    }
    work->device = device;
    work->irp = irp;
    work->transfer = t;
    IoQueueWorkItem(work->item, pipedrv_transfer_error_work, DelayedWorkQueue, work);
    return true;
}

Status fail(pipedrv_device_extension* ext, Irp* irp, Status status) {
    pipedrv_complete(irp, status);
    pipedrv_io_decrement(ext);
    return status;
}

// The bytes done as the request's information. A buffered device control copies the
// information back into the caller's output, so it never reports more than that holds.
void report_done(Irp* irp, std::uint32_t done) {
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    std::uintptr_t information = done;
    if (s->MajorFunction == IRP_MJ_DEVICE_CONTROL && (s->Parameters.DeviceIoControl.IoControlCode & 3) == METHOD_BUFFERED)
        information = std::min<std::uintptr_t>(done, s->Parameters.DeviceIoControl.OutputBufferLength);
    irp->IoStatus.Information = information;
}

Status frame_done(DeviceObject*, Irp*, void* event) {
    KeSetEvent(static_cast<Event*>(event), 0, false);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

}  // namespace

std::uint32_t pipedrv_get_frame_number(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    Urb urb{};
    urb.UrbGetCurrentFrameNumber.Hdr.Length = sizeof(UrbFrameNumber);
    urb.UrbGetCurrentFrameNumber.Hdr.Function = URB_FUNCTION_GET_CURRENT_FRAME_NUMBER;
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    IoStackLocation* next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = &urb;
    IoSetCompletionRoutine(irp, frame_done, &done, true, true, true);
    if (IoCallDriver(ext->lower_device, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);
    return urb.UrbGetCurrentFrameNumber.FrameNumber;
}

Urb* pipedrv_build_iso_urb(DeviceObject* device, Irp* irp, pipedrv_pipe_context* pipe, bool is_read) {
    auto* ext = extension_of(device);
    PipeInformation* info = pipeAt(ext->config->interface_info, pipe->pipe_index);
    std::uint32_t length = MmGetMdlByteCount(irp->MdlAddress);
    std::uint32_t packet = std::max<std::uint32_t>(info->MaximumPacketSize, 1);
    std::uint32_t packets = (length + packet - 1) / packet;
    std::size_t size = GET_ISO_URB_SIZE(packets);
    auto* urb = static_cast<Urb*>(ExAllocatePoolWithTag(pipedrv_pool_type, size, PDRV_TAG));
    if (!urb) return nullptr;
    std::memset(urb, 0, size);
    auto& r = urb->UrbIsochronousTransfer;
    r.Hdr.Length = static_cast<std::uint16_t>(size);
    r.Hdr.Function = URB_FUNCTION_ISOCH_TRANSFER;
    r.PipeHandle = info->PipeHandle;
    r.TransferBufferMDL = irp->MdlAddress;
    r.TransferBufferLength = length;
    r.NumberOfPackets = packets;
    for (std::uint32_t i = 0; i < packets; ++i) isoPacketAt(&r, i)->Offset = i * packet;
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    auto offset = static_cast<std::uint64_t>(is_read ? s->Parameters.Read.ByteOffset : s->Parameters.Write.ByteOffset);
    std::uint32_t direction = is_read ? USBD_TRANSFER_DIRECTION_IN : 0;
    if ((offset >> 32) == 0) {
        r.TransferFlags = USBD_START_ISO_TRANSFER_ASAP | direction;
    } else {
        r.TransferFlags = direction;
        r.StartFrame = static_cast<std::uint32_t>(offset) + pipedrv_get_frame_number(device, irp);
    }
    return urb;
}

Status pipedrv_iso_complete(DeviceObject* device, Irp* irp, void* context) {
    auto* urb = static_cast<Urb*>(context);
    auto* ext = extension_of(device);
    irp->IoStatus.Information = urb->UrbIsochronousTransfer.TransferBufferLength;
    ExFreePoolWithTag(urb, PDRV_TAG);
    pipedrv_io_decrement(ext);
    if (irp->PendingReturned) IoMarkIrpPending(irp);
    return irp->IoStatus.Status;
}

Status pipedrv_iso_transfer(DeviceObject* device, Irp* irp, pipedrv_pipe_context* pipe, bool is_read) {
    auto* ext = extension_of(device);
    // The isochronous path needs the caller's buffer: an empty request has nothing to move.
    if (!irp->MdlAddress || MmGetMdlByteCount(irp->MdlAddress) == 0) return fail(ext, irp, STATUS_INVALID_PARAMETER);
    pipedrv_reset_pipe(device, pipeAt(ext->config->interface_info, pipe->pipe_index)->PipeHandle);
    Urb* urb = pipedrv_build_iso_urb(device, irp, pipe, is_read);
    if (!urb) return fail(ext, irp, STATUS_INSUFFICIENT_RESOURCES);
    IoStackLocation* next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = urb;
    IoSetCompletionRoutine(irp, pipedrv_iso_complete, urb, true, true, true);
    IoMarkIrpPending(irp);
    IoCallDriver(ext->lower_device, irp);
    return STATUS_PENDING;
}

Status pipedrv_send_segments(DeviceObject* device, Irp* irp, pipedrv_pipe_context* pipe, std::uint8_t* buffer,
                             std::uint32_t length, std::uint32_t flags) {
    auto* ext = extension_of(device);
    PipeInformation* info = pipeAt(ext->config->interface_info, pipe->pipe_index);
    std::uint32_t segment = std::max<std::uint32_t>(pipe->segment_size, info->MaximumPacketSize);
    std::uint32_t first = std::min(segment, length);
    std::uint8_t* start = buffer;
    Mdl* partial = nullptr;
    if (!buffer && length) {
        start = static_cast<std::uint8_t*>(MmGetMdlVirtualAddress(irp->MdlAddress));
        partial = IoAllocateMdl(start, length, false, false, nullptr);
        if (!partial) return STATUS_INSUFFICIENT_RESOURCES;
        IoBuildPartialMdl(irp->MdlAddress, partial, start, first);
    }
    if (!length) start = nullptr;
    auto* urb = static_cast<Urb*>(ExAllocatePoolWithTag(pipedrv_pool_type, sizeof(UrbBulkOrInterruptTransfer), PDRV_TAG));
    auto* t = static_cast<pipedrv_transfer_context*>(
        ExAllocatePoolWithTag(pipedrv_pool_type, sizeof(pipedrv_transfer_context), PDRV_TAG));
    if (!urb || !t) {
        if (partial) IoFreeMdl(partial);
        if (urb) ExFreePoolWithTag(urb, PDRV_TAG);
        if (t) ExFreePoolWithTag(t, PDRV_TAG);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    UsbBuildInterruptOrBulkTransferRequest(urb, sizeof(UrbBulkOrInterruptTransfer), info->PipeHandle,
                                           partial ? nullptr : start, partial, first, flags, nullptr);
    *t = pipedrv_transfer_context{urb, device, partial, length - first, 0, start ? start + first : nullptr, segment, pipe};
    IoMarkIrpPending(irp);
    send_segment(irp, t);
    return STATUS_PENDING;
}

Status pipedrv_read_write(DeviceObject* device, Irp* irp, bool is_read) {
    auto* ext = extension_of(device);
    FileObject* file = IoGetCurrentIrpStackLocation(irp)->FileObject;
    pipedrv_pipe_context* pipe = pipedrv_pipe_of(ext, file);
    if (!pipe) return fail(ext, irp, STATUS_INVALID_HANDLE);
    if (!pipedrv_device_working(ext)) return fail(ext, irp, STATUS_POWER_STATE_INVALID);
    PipeInformation* info = pipeAt(ext->config->interface_info, pipe->pipe_index);
    if (info->PipeType == UsbdPipeTypeIsochronous) return pipedrv_iso_transfer(device, irp, pipe, is_read);
    if (info->PipeType != UsbdPipeTypeBulk && info->PipeType != UsbdPipeTypeInterrupt)
        return fail(ext, irp, STATUS_INVALID_PARAMETER);

    std::uint32_t length = irp->MdlAddress ? MmGetMdlByteCount(irp->MdlAddress) : 0;
    if (is_read && length == 0) {
        pipedrv_complete(irp, STATUS_SUCCESS, 0);
        pipedrv_io_decrement(ext);
        return STATUS_SUCCESS;
    }
    Status status = pipedrv_send_segments(device, irp, pipe, nullptr, length,
                                          is_read ? USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK
                                                  : USBD_SHORT_TRANSFER_OK);
    return status == STATUS_PENDING ? status : fail(ext, irp, status);
}

Status pipedrv_transfer_complete(DeviceObject*, Irp* irp, void* context) {
    auto* t = static_cast<pipedrv_transfer_context*>(context);
    auto* ext = extension_of(t->device);
    Status status = irp->IoStatus.Status;
    std::uint32_t reported = t->urb->UrbBulkOrInterruptTransfer.TransferBufferLength;
    if (NT_SUCCESS(status) || status == STATUS_CANCELLED) {
        t->done += reported;
        report_done(irp, t->done);
    }
    if (!NT_SUCCESS(status)) {
        if (queue_error_work(t->device, irp, t)) return STATUS_MORE_PROCESSING_REQUIRED;
    } else if (t->remaining > 0 && reported == t->segment_size) {
        std::uint32_t next = std::min(t->segment_size, t->remaining);
        if (t->partial_mdl) {
            MmPrepareMdlForReuse(t->partial_mdl);  // the bus may have mapped it
            IoBuildPartialMdl(irp->MdlAddress, t->partial_mdl, t->next_address, next);
        } else {
            t->urb->UrbBulkOrInterruptTransfer.TransferBuffer = t->next_address;
        }
        t->urb->UrbBulkOrInterruptTransfer.TransferBufferLength = next;
        t->next_address += next;
        t->remaining -= next;
        send_segment(irp, t);
        return STATUS_MORE_PROCESSING_REQUIRED;
    } else {
        report_done(irp, t->done);
    }
    free_transfer(t);
    pipedrv_io_decrement(ext);
    if (irp->PendingReturned) IoMarkIrpPending(irp);
    return status;
}

}  // namespace pipedrv
