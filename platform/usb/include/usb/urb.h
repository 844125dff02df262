#pragma once
// USB request blocks (URBs) as a function driver hands them to the bus with
// IOCTL_INTERNAL_USB_SUBMIT_URB, the port requests, and the configuration helpers a
// driver calls. The record layouts are our own; field names follow the platform's.
#include <cstddef>
#include <cstdint>

#include "kernel/io.h"
#include "usb/descriptors.h"

namespace usb {

using kernel::Mdl;
using kernel::Status;

// Internal device-control codes of the bus.
constexpr std::uint32_t IOCTL_INTERNAL_USB_SUBMIT_URB = 0x220003;
constexpr std::uint32_t IOCTL_INTERNAL_USB_RESET_PORT = 0x220007;
constexpr std::uint32_t IOCTL_INTERNAL_USB_GET_PORT_STATUS = 0x220013;
constexpr std::uint32_t IOCTL_INTERNAL_USB_ENABLE_PORT = 0x220017;
constexpr std::uint32_t IOCTL_INTERNAL_USB_CYCLE_PORT = 0x22001F;

constexpr std::uint32_t USBD_PORT_ENABLED = 0x1;
constexpr std::uint32_t USBD_PORT_CONNECTED = 0x2;

// URB functions.
constexpr std::uint16_t URB_FUNCTION_SELECT_CONFIGURATION = 0x0000;
constexpr std::uint16_t URB_FUNCTION_ABORT_PIPE = 0x0002;
constexpr std::uint16_t URB_FUNCTION_GET_CURRENT_FRAME_NUMBER = 0x0007;
constexpr std::uint16_t URB_FUNCTION_CONTROL_TRANSFER = 0x0008;
constexpr std::uint16_t URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER = 0x0009;
constexpr std::uint16_t URB_FUNCTION_ISOCH_TRANSFER = 0x000A;
constexpr std::uint16_t URB_FUNCTION_GET_DESCRIPTOR_FROM_DEVICE = 0x000B;
constexpr std::uint16_t URB_FUNCTION_VENDOR_DEVICE = 0x0017;
constexpr std::uint16_t URB_FUNCTION_VENDOR_INTERFACE = 0x0018;
constexpr std::uint16_t URB_FUNCTION_VENDOR_ENDPOINT = 0x0019;
constexpr std::uint16_t URB_FUNCTION_CLASS_DEVICE = 0x001A;
constexpr std::uint16_t URB_FUNCTION_CLASS_INTERFACE = 0x001B;
constexpr std::uint16_t URB_FUNCTION_CLASS_ENDPOINT = 0x001C;
constexpr std::uint16_t URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL = 0x001E;
constexpr std::uint16_t URB_FUNCTION_CLASS_OTHER = 0x001F;
constexpr std::uint16_t URB_FUNCTION_VENDOR_OTHER = 0x0020;

// Transfer flags.
constexpr std::uint32_t USBD_TRANSFER_DIRECTION_IN = 0x1;
constexpr std::uint32_t USBD_SHORT_TRANSFER_OK = 0x2;
constexpr std::uint32_t USBD_START_ISO_TRANSFER_ASAP = 0x4;

// URB statuses (the bus's detail behind the request's status).
using UsbdStatus = std::int32_t;
constexpr UsbdStatus USBD_STATUS_SUCCESS = 0;
constexpr UsbdStatus USBD_STATUS_PENDING = 0x40000000;
constexpr UsbdStatus USBD_STATUS_STALL_PID = static_cast<UsbdStatus>(0xC0000004);
constexpr UsbdStatus USBD_STATUS_DATA_OVERRUN = static_cast<UsbdStatus>(0xC0000008);
constexpr UsbdStatus USBD_STATUS_ENDPOINT_HALTED = static_cast<UsbdStatus>(0xC0000030);
constexpr UsbdStatus USBD_STATUS_INVALID_URB_FUNCTION = static_cast<UsbdStatus>(0x80000200);
constexpr UsbdStatus USBD_STATUS_INVALID_PARAMETER = static_cast<UsbdStatus>(0x80000300);
constexpr UsbdStatus USBD_STATUS_INVALID_PIPE_HANDLE = static_cast<UsbdStatus>(0x80000600);
constexpr UsbdStatus USBD_STATUS_BAD_START_FRAME = static_cast<UsbdStatus>(0xC0000A00);
constexpr UsbdStatus USBD_STATUS_CANCELED = static_cast<UsbdStatus>(0xC0010000);
constexpr UsbdStatus USBD_STATUS_DEVICE_GONE = static_cast<UsbdStatus>(0xC0007000);

// The I/O status a bus completes a request with, for the USB status of its URB.
kernel::Status statusOfUsbd(UsbdStatus s);

enum UsbdPipeType : std::uint32_t {
    UsbdPipeTypeControl = 0,
    UsbdPipeTypeIsochronous = 1,
    UsbdPipeTypeBulk = 2,
    UsbdPipeTypeInterrupt = 3,
};

using PipeHandle = void*;
using ConfigurationHandle = void*;
using InterfaceHandle = void*;

struct PipeInformation {
    std::uint16_t MaximumPacketSize;
    std::uint8_t EndpointAddress;
    std::uint8_t Interval;
    UsbdPipeType PipeType;
    usb::PipeHandle PipeHandle;
    std::uint32_t MaximumTransferSize;
    std::uint32_t PipeFlags;
};
// 24 bytes in the 64-bit build, 20 in the 32-bit one, as on the platform.
static_assert(sizeof(PipeInformation) == (sizeof(void*) == 8 ? 24 : 20));

// Followed in memory by NumberOfPipes - 1 further pipes; Length covers all of them.
struct InterfaceInformation {
    std::uint16_t Length;
    std::uint8_t InterfaceNumber;
    std::uint8_t AlternateSetting;
    std::uint8_t Class;
    std::uint8_t SubClass;
    std::uint8_t Protocol;
    std::uint8_t Reserved;
    usb::InterfaceHandle InterfaceHandle;
    std::uint32_t NumberOfPipes;
    PipeInformation Pipes[1];
};

constexpr std::size_t interfaceInformationSize(std::uint32_t pipes) {
    return offsetof(InterfaceInformation, Pipes) + sizeof(PipeInformation) * (pipes ? pipes : 1);
}
PipeInformation* pipeAt(InterfaceInformation* info, std::uint32_t index);
const PipeInformation* pipeAt(const InterfaceInformation* info, std::uint32_t index);

struct UrbHeader {
    std::uint16_t Length;
    std::uint16_t Function;
    UsbdStatus Status;
    void* UsbdDeviceHandle;
    std::uint32_t UsbdFlags;
};

struct UrbSelectConfiguration {
    UrbHeader Hdr;
    usb::ConfigurationDescriptor* ConfigurationDescriptor;  // none: unconfigure
    usb::ConfigurationHandle ConfigurationHandle;
    InterfaceInformation Interface;  // one after another, as many as selected
};

struct UrbPipeRequest {
    UrbHeader Hdr;
    usb::PipeHandle PipeHandle;
    std::uint32_t Reserved;
};

struct UrbFrameNumber {
    UrbHeader Hdr;
    std::uint32_t FrameNumber;
};

// Fields shared by every transfer URB.
struct UrbTransfer {
    UrbHeader Hdr;
    usb::PipeHandle PipeHandle;
    std::uint32_t TransferFlags;
    std::uint32_t TransferBufferLength;
    void* TransferBuffer;
    Mdl* TransferBufferMDL;
    void* UrbLink;
};

struct UrbBulkOrInterruptTransfer {
    UrbHeader Hdr;
    usb::PipeHandle PipeHandle;
    std::uint32_t TransferFlags;
    std::uint32_t TransferBufferLength;
    void* TransferBuffer;
    Mdl* TransferBufferMDL;
    void* UrbLink;
};

struct UrbControlDescriptorRequest {
    UrbHeader Hdr;
    void* Reserved;
    std::uint32_t Reserved0;
    std::uint32_t TransferBufferLength;
    void* TransferBuffer;
    Mdl* TransferBufferMDL;
    void* UrbLink;
    std::uint16_t Reserved1;
    std::uint8_t Index;
    std::uint8_t DescriptorType;
    std::uint16_t LanguageId;
    std::uint16_t Reserved2;
};

struct UrbControlVendorOrClassRequest {
    UrbHeader Hdr;
    void* Reserved;
    std::uint32_t TransferFlags;
    std::uint32_t TransferBufferLength;
    void* TransferBuffer;
    Mdl* TransferBufferMDL;
    void* UrbLink;
    std::uint8_t RequestTypeReservedBits;
    std::uint8_t Request;
    std::uint16_t Value;
    std::uint16_t Index;
    std::uint16_t Reserved1;
};

struct IsoPacketDescriptor {
    std::uint32_t Offset;
    std::uint32_t Length;
    UsbdStatus Status;
};

struct UrbIsochTransfer {
    UrbHeader Hdr;
    usb::PipeHandle PipeHandle;
    std::uint32_t TransferFlags;
    std::uint32_t TransferBufferLength;
    void* TransferBuffer;
    Mdl* TransferBufferMDL;
    void* UrbLink;
    std::uint32_t StartFrame;
    std::uint32_t NumberOfPackets;
    std::uint32_t ErrorCount;
    IsoPacketDescriptor IsoPacket[1];  // NumberOfPackets of them
};

union Urb {
    usb::UrbHeader UrbHeader;
    usb::UrbSelectConfiguration UrbSelectConfiguration;
    usb::UrbPipeRequest UrbPipeRequest;
    usb::UrbFrameNumber UrbGetCurrentFrameNumber;
    usb::UrbTransfer UrbTransfer;
    usb::UrbBulkOrInterruptTransfer UrbBulkOrInterruptTransfer;
    usb::UrbControlDescriptorRequest UrbControlDescriptorRequest;
    usb::UrbControlVendorOrClassRequest UrbControlVendorClassRequest;
    usb::UrbIsochTransfer UrbIsochronousTransfer;
};

constexpr std::size_t GET_ISO_URB_SIZE(std::uint32_t packets) {
    return offsetof(UrbIsochTransfer, IsoPacket) + sizeof(IsoPacketDescriptor) * packets;
}
IsoPacketDescriptor* isoPacketAt(UrbIsochTransfer* urb, std::uint32_t index);

// Builders, as a driver fills its URBs.
void UsbBuildGetDescriptorRequest(Urb* urb, std::uint16_t length, std::uint8_t descriptorType,
                                  std::uint8_t index, std::uint16_t languageId, void* buffer,
                                  Mdl* mdl, std::uint32_t bufferLength, Urb* link);
void UsbBuildSelectConfigurationRequest(Urb* urb, std::uint16_t length,
                                        ConfigurationDescriptor* configuration);
void UsbBuildInterruptOrBulkTransferRequest(Urb* urb, std::uint16_t length, PipeHandle pipe,
                                            void* buffer, Mdl* mdl, std::uint32_t bufferLength,
                                            std::uint32_t flags, Urb* link);
void UsbBuildVendorRequest(Urb* urb, std::uint16_t function, std::uint16_t length,
                           std::uint32_t flags, std::uint8_t reservedBits, std::uint8_t request,
                           std::uint16_t value, std::uint16_t index, void* buffer, Mdl* mdl,
                           std::uint32_t bufferLength, Urb* link);

// Finds, from `start` on, the next interface descriptor that matches every value that
// is not -1. Walks no further than wTotalLength and stops at a descriptor of length 0.
InterfaceDescriptor* USBD_ParseConfigurationDescriptorEx(
    ConfigurationDescriptor* configuration, void* start, std::int32_t interfaceNumber,
    std::int32_t alternateSetting, std::int32_t interfaceClass, std::int32_t interfaceSubClass,
    std::int32_t interfaceProtocol);

struct InterfaceListEntry {
    usb::InterfaceDescriptor* InterfaceDescriptor;
    InterfaceInformation* Interface;  // filled in: where the URB holds its information
};

// A select-configuration URB for the listed interfaces (the list ends with an entry
// whose descriptor is null), from the pool; free it with ExFreePool.
Urb* USBD_CreateConfigurationRequestEx(ConfigurationDescriptor* configuration,
                                       InterfaceListEntry* list);

constexpr std::uint32_t USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE = 4096;

}  // namespace usb
