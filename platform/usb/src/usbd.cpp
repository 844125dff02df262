// The configuration helpers and URB builders a function driver calls.
#include <cstring>

#include "kernel/pool.h"
#include "usb/urb.h"

namespace usb {
namespace {

constexpr std::uint32_t usbdTag = kernel::makeTag("USBD");

}  // namespace

kernel::Status statusOfUsbd(UsbdStatus s) {
    using namespace kernel;
    if (s == USBD_STATUS_SUCCESS) return STATUS_SUCCESS;
    if (s == USBD_STATUS_CANCELED) return STATUS_CANCELLED;
    if (s == USBD_STATUS_DEVICE_GONE) return STATUS_DEVICE_NOT_CONNECTED;
    if (s == USBD_STATUS_DATA_OVERRUN) return STATUS_DATA_OVERRUN;
    if (s == USBD_STATUS_INVALID_PARAMETER || s == USBD_STATUS_INVALID_PIPE_HANDLE ||
        s == USBD_STATUS_INVALID_URB_FUNCTION)
        return STATUS_INVALID_PARAMETER;
    return STATUS_UNSUCCESSFUL;
}

PipeInformation* pipeAt(InterfaceInformation* info, std::uint32_t index) {
    auto* base = reinterpret_cast<std::byte*>(info) + offsetof(InterfaceInformation, Pipes);
    return reinterpret_cast<PipeInformation*>(base + index * sizeof(PipeInformation));
}

const PipeInformation* pipeAt(const InterfaceInformation* info, std::uint32_t index) {
    return pipeAt(const_cast<InterfaceInformation*>(info), index);
}

IsoPacketDescriptor* isoPacketAt(UrbIsochTransfer* urb, std::uint32_t index) {
    auto* base = reinterpret_cast<std::byte*>(urb) + offsetof(UrbIsochTransfer, IsoPacket);
    return reinterpret_cast<IsoPacketDescriptor*>(base + index * sizeof(IsoPacketDescriptor));
}

void UsbBuildGetDescriptorRequest(Urb* urb, std::uint16_t length, std::uint8_t descriptorType,
                                  std::uint8_t index, std::uint16_t languageId, void* buffer,
                                  Mdl* mdl, std::uint32_t bufferLength, Urb* link) {
    auto& r = urb->UrbControlDescriptorRequest;
    std::memset(&r, 0, sizeof r);
    r.Hdr.Length = length;
    r.Hdr.Function = URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE;
    r.TransferBufferLength = bufferLength;
    r.TransferBuffer = buffer;
    r.TransferBufferMDL = mdl;
    r.UrbLink = link;
    r.Index = index;
    r.DescriptorType = descriptorType;
    r.LanguageId = languageId;
}

void UsbBuildSelectConfigurationRequest(Urb* urb, std::uint16_t length,
                                        ConfigurationDescriptor* configuration) {
    auto& r = urb->UrbSelectConfiguration;
    std::memset(&r, 0, offsetof(UrbSelectConfiguration, Interface));
    r.Hdr.Length = length;
    r.Hdr.Function = URB_FUNCTION_SELECT_CONFIGURATION;
    r.ConfigurationDescriptor = configuration;
}

void UsbBuildInterruptOrBulkTransferRequest(Urb* urb, std::uint16_t length, PipeHandle pipe,
                                            void* buffer, Mdl* mdl, std::uint32_t bufferLength,
                                            std::uint32_t flags, Urb* link) {
    auto& r = urb->UrbBulkOrInterruptTransfer;
    std::memset(&r, 0, sizeof r);
    r.Hdr.Length = length;
    r.Hdr.Function = URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
    r.PipeHandle = pipe;
    r.TransferFlags = flags;
    r.TransferBufferLength = bufferLength;
    r.TransferBuffer = buffer;
    r.TransferBufferMDL = mdl;
    r.UrbLink = link;
}

void UsbBuildVendorRequest(Urb* urb, std::uint16_t function, std::uint16_t length,
                           std::uint32_t flags, std::uint8_t reservedBits, std::uint8_t request,
                           std::uint16_t value, std::uint16_t index, void* buffer, Mdl* mdl,
                           std::uint32_t bufferLength, Urb* link) {
    auto& r = urb->UrbControlVendorClassRequest;
    std::memset(&r, 0, sizeof r);
    r.Hdr.Length = length;
    r.Hdr.Function = function;
    r.TransferFlags = flags;
    r.TransferBufferLength = bufferLength;
    r.TransferBuffer = buffer;
    r.TransferBufferMDL = mdl;
    r.UrbLink = link;
    r.RequestTypeReservedBits = reservedBits;
    r.Request = request;
    r.Value = value;
    r.Index = index;
}

InterfaceDescriptor* USBD_ParseConfigurationDescriptorEx(
    ConfigurationDescriptor* configuration, void* start, std::int32_t interfaceNumber,
    std::int32_t alternateSetting, std::int32_t interfaceClass, std::int32_t interfaceSubClass,
    std::int32_t interfaceProtocol) {
    auto* base = reinterpret_cast<std::uint8_t*>(configuration);
    auto* end = base + configuration->wTotalLength;
    auto* at = static_cast<std::uint8_t*>(start);
    if (at < base) at = base;
    auto matches = [](std::int32_t wanted, std::uint8_t actual) {
        return wanted == -1 || wanted == actual;
    };
    while (at + 2 <= end) {
        std::uint8_t length = at[0];
        if (length < 2 || at + length > end) break;
        if (at[1] == USB_INTERFACE_DESCRIPTOR_TYPE && length >= sizeof(InterfaceDescriptor)) {
            auto* d = reinterpret_cast<InterfaceDescriptor*>(at);
            if (matches(interfaceNumber, d->bInterfaceNumber) &&
                matches(alternateSetting, d->bAlternateSetting) &&
                matches(interfaceClass, d->bInterfaceClass) &&
                matches(interfaceSubClass, d->bInterfaceSubClass) &&
                matches(interfaceProtocol, d->bInterfaceProtocol))
                return d;
        }
        at += length;
    }
    return nullptr;
}

Urb* USBD_CreateConfigurationRequestEx(ConfigurationDescriptor* configuration,
                                       InterfaceListEntry* list) {
    (void)configuration;
    std::size_t size = offsetof(UrbSelectConfiguration, Interface);
    std::size_t count = 0;
    for (InterfaceListEntry* e = list; e->InterfaceDescriptor; ++e, ++count)
        size += interfaceInformationSize(e->InterfaceDescriptor->bNumEndpoints);
    if (count == 0) size += interfaceInformationSize(0);
    if (size > 0xFFFF) return nullptr;
    auto* urb = static_cast<Urb*>(kernel::ExAllocatePoolWithTag(kernel::NonPagedPoolNx, size, usbdTag));
    if (!urb) return nullptr;
    std::memset(urb, 0, size);
    UsbBuildSelectConfigurationRequest(urb, static_cast<std::uint16_t>(size), configuration);
    auto* at = reinterpret_cast<std::byte*>(&urb->UrbSelectConfiguration.Interface);
    for (InterfaceListEntry* e = list; e->InterfaceDescriptor; ++e) {
        InterfaceDescriptor* d = e->InterfaceDescriptor;
        auto* info = reinterpret_cast<InterfaceInformation*>(at);
        std::uint32_t pipes = d->bNumEndpoints;
        info->Length = static_cast<std::uint16_t>(interfaceInformationSize(pipes));
        info->InterfaceNumber = d->bInterfaceNumber;
        info->AlternateSetting = d->bAlternateSetting;
        info->NumberOfPipes = pipes;
        for (std::uint32_t i = 0; i < pipes; ++i)
            pipeAt(info, i)->MaximumTransferSize = USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE;
        e->Interface = info;
        at += info->Length;
    }
    return urb;
}

}  // namespace usb
