// USB configuration and the pipe table.
#include <algorithm>
#include <cstring>
#include <string>

#include "pipedrv/pipedrv.h"

namespace pipedrv {
namespace {

constexpr std::uint32_t first_configuration_read = 521;
constexpr int configuration_read_rounds = 4;

void* allocate(std::size_t size) {
    void* p = ExAllocatePoolWithTag(pipedrv_pool_type, size, PDRV_TAG);
    if (p) std::memset(p, 0, size);
    return p;
}

void release(void* p) {
    if (p) ExFreePoolWithTag(p, PDRV_TAG);
}

void free_record(pipedrv_config_info* config) {
    if (!config) return;
    release(config->configuration_descriptor);
    release(config->interface_info);
    release(config->pipes);
    release(config);
}

Status read_descriptor(DeviceObject* device, Urb* urb, std::uint8_t type, void* buffer, std::uint32_t length,
                       std::uint32_t* received) {
    UsbBuildGetDescriptorRequest(urb, sizeof(UrbControlDescriptorRequest), type, 0, 0, buffer, nullptr, length, nullptr);
    Status status = pipedrv_submit_urb_sync(device, urb);
    *received = urb->UrbControlDescriptorRequest.TransferBufferLength;
    return status;
}

// Reads the whole configuration descriptor: 521 bytes first, then as long as it says.
Status read_configuration(DeviceObject* device, Urb* urb, ConfigurationDescriptor** out) {
    std::uint32_t size = first_configuration_read;
    for (int round = 0; round < configuration_read_rounds; ++round) {
        auto* buffer = static_cast<std::uint8_t*>(allocate(size));
        if (!buffer) return STATUS_INSUFFICIENT_RESOURCES;
        std::uint32_t received = 0;
        Status status = read_descriptor(device, urb, USB_CONFIGURATION_DESCRIPTOR_TYPE, buffer, size, &received);
        if (!NT_SUCCESS(status)) {
            release(buffer);
            return status;
        }
        auto* cd = reinterpret_cast<ConfigurationDescriptor*>(buffer);
        std::uint32_t total = received >= 4 ? cd->wTotalLength : 0;
        if (received != 0 && size < total && total >= sizeof(ConfigurationDescriptor) &&
            round + 1 < configuration_read_rounds) {
            release(buffer);
            size = total;
            continue;
        }
        if (received < sizeof(ConfigurationDescriptor)) {
            release(buffer);
            return STATUS_UNSUCCESSFUL;
        }
        // Walks never run past what the device actually sent.
        cd->wTotalLength = static_cast<std::uint16_t>(std::min<std::uint32_t>({total, received, size}));
        *out = cd;
        return STATUS_SUCCESS;
    }
    return STATUS_UNSUCCESSFUL;
}

std::int32_t target(DeviceObject* pdo, const char16_t* name) {
    std::uint32_t value = 0xFFFFFFFF;
    pipedrv_read_registry_dword(pdo, name, &value);
    return static_cast<std::int32_t>(value);
}

void set_segment_sizes(pipedrv_device_extension* ext, pipedrv_config_info* config) {
    InterfaceInformation* info = config->interface_info;
    for (std::uint32_t i = 0; i < info->NumberOfPipes; ++i) {
        PipeInformation* pipe = pipeAt(info, i);
        config->pipes[i].pipe_index = i;
        if (pipe->PipeType != UsbdPipeTypeBulk && pipe->PipeType != UsbdPipeTypeInterrupt) continue;
        std::u16string name = u"EP";
        for (char c : std::to_string(pipe->EndpointAddress & 0x7F)) name.push_back(static_cast<char16_t>(c));
        name += u"_SegmentSize";
        std::uint32_t value = 0;
        bool present = NT_SUCCESS(pipedrv_read_registry_dword(ext->pdo, name.c_str(), &value));
        config->pipes[i].segment_size =
            pipedrv_segment_size((pipe->EndpointAddress & USB_ENDPOINT_DIRECTION_IN) != 0, pipe->MaximumPacketSize,
                                 pipe->MaximumTransferSize, present ? &value : nullptr);
    }
}

}  // namespace

std::uint32_t pipedrv_segment_size(bool is_in, std::uint32_t packet, std::uint32_t maximum_transfer,
                                   const std::uint32_t* value) {
    if (packet == 0) packet = 1;
    std::uint64_t v = value ? *value : (is_in ? packet : maximum_transfer);
    std::uint64_t segment = v == 0 ? packet : packet * ((v + packet - 1) / packet);
    if (maximum_transfer < segment) segment = maximum_transfer;
    // Never below one packet: a zero segment would send empty transfers for ever.
    if (segment < packet) segment = packet;
    return static_cast<std::uint32_t>(segment);
}

Status pipedrv_submit_urb_sync(DeviceObject* device, Urb* urb) {
    auto* ext = extension_of(device);
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    IoStatusBlock io;
    Irp* irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_USB_SUBMIT_URB, ext->lower_device, nullptr, 0, nullptr, 0,
                                             true, &done, &io);
    if (!irp) return STATUS_INSUFFICIENT_RESOURCES;
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = urb;
    IoCallDriver(ext->lower_device, irp);
    KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);  // set once it ended
    return io.Status;
}

Status pipedrv_reset_pipe(DeviceObject* device, PipeHandle pipe) {
    auto* urb = static_cast<Urb*>(allocate(sizeof(UrbPipeRequest)));
    if (!urb) return STATUS_INSUFFICIENT_RESOURCES;
    urb->UrbPipeRequest.Hdr.Length = sizeof(UrbPipeRequest);
    urb->UrbPipeRequest.Hdr.Function = URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL;
    urb->UrbPipeRequest.PipeHandle = pipe;
    Status status = pipedrv_submit_urb_sync(device, urb);
    release(urb);
    return status;
}

Status pipedrv_configure(DeviceObject* device) {
    auto* ext = extension_of(device);
    auto* urb = static_cast<Urb*>(allocate(sizeof(UrbControlDescriptorRequest)));
    auto* dd = static_cast<DeviceDescriptor*>(allocate(sizeof(DeviceDescriptor)));
    auto* config = static_cast<pipedrv_config_info*>(allocate(sizeof(pipedrv_config_info)));
    if (!urb || !dd || !config) {
        release(urb);
        release(dd);
        release(config);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    std::uint32_t received = 0;
    Status status = read_descriptor(device, urb, USB_DEVICE_DESCRIPTOR_TYPE, dd, sizeof *dd, &received);
    if (!NT_SUCCESS(status)) {
        release(urb);
        release(dd);
        release(config);
        return status;
    }
    config->device_descriptor = *dd;
    release(dd);
    status = read_configuration(device, urb, &config->configuration_descriptor);
    release(urb);
    if (NT_SUCCESS(status)) {
        ext->remote_wakeup = (config->configuration_descriptor->bmAttributes & USB_CONFIG_REMOTE_WAKEUP) ? 1 : 0;
        status = pipedrv_select_interface(device, config);
    }
    if (!NT_SUCCESS(status)) {
        free_record(config);
        return status;
    }
    // Only a whole table is published: a close may look at it from another thread.
    pipedrv_config_info* earlier = nullptr;
    {
        spin_guard hold(&ext->state_lock);
        earlier = ext->config;
        ext->config = config;
    }
    free_record(earlier);
    return status;
}

Status pipedrv_select_interface(DeviceObject* device, pipedrv_config_info* config) {
    auto* ext = extension_of(device);
    std::int32_t alternate = target(ext->pdo, u"TargetAlternateSetting");
    std::int32_t cls = target(ext->pdo, u"TargetInterfaceClass");
    std::int32_t sub = target(ext->pdo, u"TargetInterfaceSubClass");
    std::int32_t protocol = target(ext->pdo, u"TargetInterfaceProtocol");
    ConfigurationDescriptor* cd = config->configuration_descriptor;
    std::uint32_t wanted = cd->bNumInterfaces;
    if (wanted == 0) return STATUS_UNSUCCESSFUL;

    auto* list = static_cast<InterfaceListEntry*>(allocate((wanted + 1) * sizeof(InterfaceListEntry)));
    if (!list) return STATUS_INSUFFICIENT_RESOURCES;
    std::uint32_t found = 0;
    for (std::int32_t number = 0; number <= 255 && found < wanted; ++number) {
        InterfaceDescriptor* d = USBD_ParseConfigurationDescriptorEx(cd, cd, number, alternate, cls, sub, protocol);
        if (d) list[found++].InterfaceDescriptor = d;
    }
    if (found == 0) {
        release(list);
        return STATUS_UNSUCCESSFUL;
    }
    Urb* urb = USBD_CreateConfigurationRequestEx(cd, list);
    if (!urb) {
        release(list);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    InterfaceInformation* first = list[0].Interface;
    for (std::uint32_t i = 0; i < first->NumberOfPipes; ++i) {
        pipeAt(first, i)->PipeFlags = 0;
        pipeAt(first, i)->MaximumTransferSize = ext->maximum_transfer_size;
    }
    Status status = pipedrv_submit_urb_sync(device, urb);
    if (NT_SUCCESS(status)) {
        config->configuration_handle = urb->UrbSelectConfiguration.ConfigurationHandle;
        config->interface_info = static_cast<InterfaceInformation*>(allocate(first->Length));
        config->pipes = static_cast<pipedrv_pipe_context*>(
            allocate(std::max<std::uint32_t>(first->NumberOfPipes, 1) * sizeof(pipedrv_pipe_context)));
        if (!config->interface_info || !config->pipes) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        } else {
            std::memcpy(config->interface_info, first, first->Length);
            config->generation = ++ext->config_generation;
            set_segment_sizes(ext, config);
        }
    }
    release(list);
    ExFreePool(urb);
    return status;
}

Status pipedrv_unconfigure(DeviceObject* device) {
    Status status = STATUS_SUCCESS;
    auto* urb = static_cast<Urb*>(allocate(sizeof(UrbSelectConfiguration)));
    if (urb) {
        UsbBuildSelectConfigurationRequest(urb, sizeof(UrbSelectConfiguration), nullptr);
        status = pipedrv_submit_urb_sync(device, urb);
        release(urb);
    }
    pipedrv_free_config(device);
    return status;
}

void pipedrv_free_config(DeviceObject* device) {
    auto* ext = extension_of(device);
    pipedrv_config_info* config = nullptr;
    {
        spin_guard hold(&ext->state_lock);
        config = ext->config;
        ext->config = nullptr;
    }
    free_record(config);
}

}  // namespace pipedrv
