// Device control codes: descriptors and pipe information, resets and aborts, port
// requests and control transfers, each answered on the caller's thread.
#include <algorithm>
#include <cstring>

#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

void* allocate(std::size_t size) { return ExAllocatePoolWithTag(pipedrv_pool_type, size, PDRV_TAG); }

// A port request to the bus, waited for.
Status port_request(DeviceObject* device, std::uint32_t code, void* argument) {
    auto* ext = extension_of(device);
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    IoStatusBlock io;
    Irp* irp = IoBuildDeviceIoControlRequest(code, ext->lower_device, nullptr, 0, nullptr, 0, true, &done, &io);
    if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = argument;
    IoCallDriver(ext->lower_device, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);
    return io.Status;
}

Status pipe_request(DeviceObject* device, std::uint16_t function, PipeHandle pipe) {
    auto* urb = static_cast<Urb*>(allocate(sizeof(UrbPipeRequest)));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    std::memset(urb, 0, sizeof(UrbPipeRequest));
    urb->UrbPipeRequest.Hdr.Length = sizeof(UrbPipeRequest);
    urb->UrbPipeRequest.Hdr.Function = function;
    urb->UrbPipeRequest.PipeHandle = pipe;
    Status status = pipedrv_submit_urb_sync(device, urb);
    ExFreePoolWithTag(urb, PDRV_TAG);
    return status;
}

// The pipe information record of the handle's pipe, or null.
PipeInformation* pipe_info(pipedrv_device_extension* ext, Irp* irp) {
    pipedrv_pipe_context* pipe = pipedrv_pipe_of(ext, IoGetCurrentIrpStackLocation(irp)->FileObject);
    return pipe ? pipeAt(ext->config->interface_info, pipe->pipe_index) : nullptr;
}

// A class or vendor control URB, sent and waited for. `length` is updated to the bytes
// the bus reported.
Status control_sync(DeviceObject* device, std::uint16_t function, std::uint32_t flags, const SetupPacket& setup,
                    void* buffer, std::uint32_t* length) {
    auto* urb = static_cast<Urb*>(allocate(sizeof(UrbControlVendorOrClassRequest)));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    UsbBuildVendorRequest(urb, function, sizeof(UrbControlVendorOrClassRequest), flags, 0, setup.bRequest,
                          setup.wValue, setup.wIndex, buffer, nullptr, *length, nullptr);
    Status status = pipedrv_submit_urb_sync(device, urb);
    *length = urb->UrbControlVendorClassRequest.TransferBufferLength;
    ExFreePoolWithTag(urb, PDRV_TAG);
    return status;
}

Status copy_configuration(pipedrv_device_extension* ext, Irp* irp, std::uint32_t out) {
    ConfigurationDescriptor* cd = ext->config ? ext->config->configuration_descriptor : nullptr;
    if (!cd) return STATUS_INVALID_DEVICE_REQUEST;
    if (out < cd->wTotalLength) return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(irp->AssociatedIrp.SystemBuffer, cd, cd->wTotalLength);
    irp->IoStatus.Information = cd->wTotalLength;
    return STATUS_SUCCESS;
}

// Enables a connected port that is not enabled; resets it when that fails.
Status reset_device(DeviceObject* device) {
    std::uint32_t port = 0;
    Status status = port_request(device, IOCTL_INTERNAL_USB_GET_PORT_STATUS, &port);
    if (!NT_SUCCESS(status) || !(port & USBD_PORT_CONNECTED) || (port & USBD_PORT_ENABLED)) return status;
    status = port_request(device, IOCTL_INTERNAL_USB_ENABLE_PORT, nullptr);
    if (!NT_SUCCESS(status)) status = port_request(device, IOCTL_INTERNAL_USB_RESET_PORT, nullptr);
    return status;
}

Status copy_pipe_info(pipedrv_device_extension* ext, Irp* irp, std::uint32_t out) {
    PipeInformation* pipe = pipe_info(ext, irp);
    if (!pipe) return STATUS_INVALID_HANDLE;
    if (out < sizeof(PipeInformation)) return STATUS_BUFFER_TOO_SMALL;
    std::memcpy(irp->AssociatedIrp.SystemBuffer, pipe, sizeof(PipeInformation));
    irp->IoStatus.Information = sizeof(PipeInformation);
    return STATUS_SUCCESS;
}

Status vendor_interface_out(DeviceObject* device, Irp* irp, std::uint32_t in) {
    auto* ext = extension_of(device);
    SetupPacket setup{0x41, 11, 0, 0, 0};
    if (ext->config) setup.wIndex = ext->config->interface_info->InterfaceNumber;
    void* buffer = irp->AssociatedIrp.SystemBuffer;
    std::uint32_t length = buffer ? in : 0;
    return control_sync(device, URB_FUNCTION_VENDOR_INTERFACE, 0, setup, length ? buffer : nullptr, &length);
}

// The control transfer of the setup packet at the start of the input. The information
// is what the caller gets back: the bytes received for device-to-host, never more than
// its output; nothing for host-to-device.
Status control_transfer(DeviceObject* device, Irp* irp, std::uint32_t in, std::uint32_t out) {
    if (in < 8) return STATUS_INVALID_PARAMETER;
    auto* buffer = static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    SetupPacket setup;
    pipedrv_parse_setup(buffer, &setup);
    std::uint16_t function = pipedrv_control_function(setup.bmRequestType);
    bool to_host = (setup.bmRequestType & 0x80) != 0;
    if (to_host ? out < setup.wLength : in < 8u + setup.wLength) return STATUS_INVALID_PARAMETER;
    if (!function) return STATUS_INVALID_PARAMETER;
    std::uint8_t* data = setup.wLength ? (to_host ? buffer : buffer + 8) : nullptr;
    std::uint32_t length = setup.wLength;
    Status status = control_sync(device, function, to_host ? USBD_TRANSFER_DIRECTION_IN : 0, setup, data, &length);
    if (NT_SUCCESS(status) && to_host) irp->IoStatus.Information = std::min<std::uint32_t>(length, out);
    return status;
}

Status max_packet(pipedrv_device_extension* ext, Irp* irp, std::uint32_t out) {
    PipeInformation* pipe = pipe_info(ext, irp);
    if (!pipe || out < 4) return STATUS_INVALID_PARAMETER;
    std::uint32_t size = pipe->MaximumPacketSize;
    std::memcpy(irp->AssociatedIrp.SystemBuffer, &size, 4);
    irp->IoStatus.Information = 4;
    return STATUS_SUCCESS;
}

}  // namespace

void pipedrv_parse_setup(const std::uint8_t* bytes, SetupPacket* setup) {
    setup->bmRequestType = bytes[0];
    setup->bRequest = bytes[1];
    setup->wValue = static_cast<std::uint16_t>(bytes[2] | bytes[3] << 8);
    setup->wIndex = static_cast<std::uint16_t>(bytes[4] | bytes[5] << 8);
    setup->wLength = static_cast<std::uint16_t>(bytes[6] | bytes[7] << 8);
}

std::uint16_t pipedrv_control_function(std::uint8_t request_type) {
    static constexpr std::uint16_t table[4][2] = {
        {URB_FUNCTION_CLASS_DEVICE, URB_FUNCTION_VENDOR_DEVICE},
        {URB_FUNCTION_CLASS_INTERFACE, URB_FUNCTION_VENDOR_INTERFACE},
        {URB_FUNCTION_CLASS_ENDPOINT, URB_FUNCTION_VENDOR_ENDPOINT},
        {URB_FUNCTION_CLASS_OTHER, URB_FUNCTION_VENDOR_OTHER},
    };
    unsigned type = (request_type >> 5) & 3;
    unsigned recipient = request_type & 0x1F;
    if (type == 0 || type == 3 || recipient > 3) return 0;  // standard and reserved are refused
    return table[recipient][type - 1];
}

Status pipedrv_device_control(DeviceObject* device, Irp* irp) {
    auto* ext = extension_of(device);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    std::uint32_t in = s->Parameters.DeviceIoControl.InputBufferLength;
    std::uint32_t out = s->Parameters.DeviceIoControl.OutputBufferLength;
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->IoStatus.Information = 0;
    Status status;
    std::uint32_t code = s->Parameters.DeviceIoControl.IoControlCode;
    switch (code) {
    case IOCTL_PIPEDRV_GET_CONFIG_DESCRIPTOR: status = copy_configuration(ext, irp, out); break;
    case IOCTL_PIPEDRV_RESET_DEVICE: status = reset_device(device); break;
    case IOCTL_PIPEDRV_RESET_PIPE:
    case IOCTL_PIPEDRV_ABORT_PIPE: {
        PipeInformation* pipe = pipe_info(ext, irp);
        bool reset = s->Parameters.DeviceIoControl.IoControlCode == IOCTL_PIPEDRV_RESET_PIPE;
        status = !pipe ? STATUS_INVALID_PARAMETER
                       : pipe_request(device, reset ? URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL : URB_FUNCTION_ABORT_PIPE,
                                      pipe->PipeHandle);
        break;
    }
    case IOCTL_PIPEDRV_GET_PIPE_INFO: status = copy_pipe_info(ext, irp, out); break;
    case IOCTL_PIPEDRV_VENDOR_INTERFACE_OUT: status = vendor_interface_out(device, irp, in); break;
    case IOCTL_PIPEDRV_CONTROL_TRANSFER: status = control_transfer(device, irp, in, out); break;
    case IOCTL_PIPEDRV_GET_MAX_PACKET: status = max_packet(ext, irp, out); break;
    case IOCTL_PIPEDRV_RESET_PORT: status = port_request(device, IOCTL_INTERNAL_USB_RESET_PORT, nullptr); break;
    case IOCTL_PIPEDRV_CYCLE_PORT:
        status = KeGetCurrentIrql() == PASSIVE_LEVEL ? port_request(device, IOCTL_INTERNAL_USB_CYCLE_PORT, nullptr)
                                                     : STATUS_UNSUCCESSFUL;
        break;
    case IOCTL_PIPEDRV_SLEEP: status = pipedrv_set_device_power_and_wait(device, ext->capabilities.DeviceWake); break;
    case IOCTL_PIPEDRV_WAKE: status = pipedrv_set_device_power_and_wait(device, PowerDeviceD0); break;
    case IOCTL_PIPEDRV_BULK_READ:
    case IOCTL_PIPEDRV_BULK_READ_DIRECT:
    case IOCTL_PIPEDRV_BULK_WRITE:
    case IOCTL_PIPEDRV_BULK_WRITE_DIRECT:
        status = pipedrv_bulk_control(device, irp, code);
        if (status == STATUS_PENDING) return status;
        break;
    case IOCTL_PIPEDRV_CONTROL_OUT_ASYNC:
    case IOCTL_PIPEDRV_CONTROL_IN_ASYNC:
        status = pipedrv_control_async(device, irp, code == IOCTL_PIPEDRV_CONTROL_IN_ASYNC);
        if (status == STATUS_PENDING) return status;
        break;
    default: status = STATUS_INVALID_PARAMETER; break;
    }
    if (!NT_SUCCESS(status)) irp->IoStatus.Information = 0;
    return pipedrv_complete(irp, status, irp->IoStatus.Information);
}

}  // namespace pipedrv
