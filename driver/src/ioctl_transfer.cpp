// The device control codes that move data asynchronously: bulk and interrupt transfers
// on the handle's pipe, and class or vendor control transfers on the request's MDL.
// Each raises the I/O count for its completion, as the dispatch entry lowers its own
// count on return.
#include <cstring>

#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

Status control_async_complete(DeviceObject* device, Irp* irp, void* context) {
    auto* urb = static_cast<Urb*>(context);
    irp->IoStatus.Information = urb->UrbControlVendorClassRequest.TransferBufferLength;
    ExFreePoolWithTag(urb, PDRV_TAG);
    pipedrv_io_decrement(extension_of(device));
    if (irp->PendingReturned) IoMarkIrpPending(irp);
    return irp->IoStatus.Status;
}

}  // namespace

Status pipedrv_bulk_control(DeviceObject* device, Irp* irp, std::uint32_t code) {
    auto* ext = extension_of(device);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    pipedrv_pipe_context* pipe = pipedrv_pipe_of(ext, s->FileObject);
    PipeInformation* info = pipe ? pipeAt(ext->config->interface_info, pipe->pipe_index) : nullptr;
    if (!info || (info->PipeType != UsbdPipeTypeBulk && info->PipeType != UsbdPipeTypeInterrupt))
        return STATUS_INVALID_HANDLE;
    if (!pipedrv_device_working(ext)) return STATUS_POWER_STATE_INVALID;

    std::uint32_t in = s->Parameters.DeviceIoControl.InputBufferLength;
    std::uint32_t out = s->Parameters.DeviceIoControl.OutputBufferLength;
    bool is_read = code == IOCTL_PIPEDRV_BULK_READ || code == IOCTL_PIPEDRV_BULK_READ_DIRECT;
    bool buffered = (code & 3) == METHOD_BUFFERED;
    std::uint32_t length = code == IOCTL_PIPEDRV_BULK_WRITE ? in : out;
    if (is_read && (length == 0 || (!buffered && !irp->MdlAddress))) return STATUS_INVALID_PARAMETER;
    if (!buffered && length && !irp->MdlAddress) return STATUS_INVALID_PARAMETER;
    auto* buffer = buffered ? static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer) : nullptr;
    if (buffered && length && !buffer) return STATUS_INVALID_PARAMETER;

    // Writes here carry no short-transfer permission, unlike a pipe write.
    std::uint32_t flags = is_read ? USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK : 0;
    pipedrv_io_increment(ext);
    Status status = pipedrv_send_segments(device, irp, pipe, buffer, length, flags);
    if (status != STATUS_PENDING) pipedrv_io_decrement(ext);
    return status;
}

Status pipedrv_control_async(DeviceObject* device, Irp* irp, bool to_host) {
    auto* ext = extension_of(device);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    std::uint32_t in = s->Parameters.DeviceIoControl.InputBufferLength;
    std::uint32_t out = s->Parameters.DeviceIoControl.OutputBufferLength;
    auto* input = static_cast<const std::uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    if (in < 8 || !input) return STATUS_INVALID_PARAMETER;
    SetupPacket setup;
    pipedrv_parse_setup(input, &setup);
    if (out < setup.wLength || (out > 0 && !irp->MdlAddress)) return STATUS_INVALID_PARAMETER;
    std::uint16_t function = pipedrv_control_function(setup.bmRequestType);
    if (!function) return STATUS_INVALID_PARAMETER;

    auto* urb = static_cast<Urb*>(ExAllocatePoolWithTag(pipedrv_pool_type, sizeof(UrbControlVendorOrClassRequest), PDRV_TAG));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    // The direction comes from the code, whatever the setup packet says.
    std::uint32_t flags = to_host ? USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK : 0;
    UsbBuildVendorRequest(urb, function, sizeof(UrbControlVendorOrClassRequest), flags, 0, setup.bRequest,
                          setup.wValue, setup.wIndex, nullptr, setup.wLength ? irp->MdlAddress : nullptr,
                          setup.wLength, nullptr);
    IoStackLocation* next = IoGetNextIrpStackLocation(irp);
    next->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    next->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    next->Parameters.Others.Argument1 = urb;
    IoSetCompletionRoutine(irp, control_async_complete, urb, true, true, true);
    pipedrv_io_increment(ext);
    IoMarkIrpPending(irp);
    IoCallDriver(ext->lower_device, irp);
    return STATUS_PENDING;
}

}  // namespace pipedrv
