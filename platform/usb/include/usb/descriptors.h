#pragma once
// Standard USB descriptors as they lie on the wire (little endian, packed).
#include <cstdint>
#include <cstdio>
#include <string>

namespace usb {

constexpr std::uint8_t USB_DEVICE_DESCRIPTOR_TYPE = 1;
constexpr std::uint8_t USB_CONFIGURATION_DESCRIPTOR_TYPE = 2;
constexpr std::uint8_t USB_STRING_DESCRIPTOR_TYPE = 3;
constexpr std::uint8_t USB_INTERFACE_DESCRIPTOR_TYPE = 4;
constexpr std::uint8_t USB_ENDPOINT_DESCRIPTOR_TYPE = 5;

constexpr std::uint8_t USB_CONFIG_REMOTE_WAKEUP = 0x20;  // bmAttributes bit 5
constexpr std::uint8_t USB_ENDPOINT_DIRECTION_IN = 0x80;

constexpr std::uint8_t USB_ENDPOINT_TYPE_CONTROL = 0;
constexpr std::uint8_t USB_ENDPOINT_TYPE_ISOCHRONOUS = 1;
constexpr std::uint8_t USB_ENDPOINT_TYPE_BULK = 2;
constexpr std::uint8_t USB_ENDPOINT_TYPE_INTERRUPT = 3;

#pragma pack(push, 1)
struct DeviceDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t bcdUSB;
    std::uint8_t bDeviceClass;
    std::uint8_t bDeviceSubClass;
    std::uint8_t bDeviceProtocol;
    std::uint8_t bMaxPacketSize0;
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
    std::uint8_t iManufacturer;
    std::uint8_t iProduct;
    std::uint8_t iSerialNumber;
    std::uint8_t bNumConfigurations;
};

struct ConfigurationDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint16_t wTotalLength;
    std::uint8_t bNumInterfaces;
    std::uint8_t bConfigurationValue;
    std::uint8_t iConfiguration;
    std::uint8_t bmAttributes;
    std::uint8_t MaxPower;
};

struct InterfaceDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bInterfaceNumber;
    std::uint8_t bAlternateSetting;
    std::uint8_t bNumEndpoints;
    std::uint8_t bInterfaceClass;
    std::uint8_t bInterfaceSubClass;
    std::uint8_t bInterfaceProtocol;
    std::uint8_t iInterface;
};

struct EndpointDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
    std::uint8_t bEndpointAddress;
    std::uint8_t bmAttributes;
    std::uint16_t wMaxPacketSize;
    std::uint8_t bInterval;
};

struct CommonDescriptor {
    std::uint8_t bLength;
    std::uint8_t bDescriptorType;
};
#pragma pack(pop)

static_assert(sizeof(DeviceDescriptor) == 18);
static_assert(sizeof(ConfigurationDescriptor) == 9);
static_assert(sizeof(InterfaceDescriptor) == 9);
static_assert(sizeof(EndpointDescriptor) == 7);

// The plug-and-play hardware id of a USB device, "USB\VID_0A5C&PID_0700": what a bus
// names its device by, and what a driver is bound to.
inline std::string hardwareId(std::uint16_t vendorId, std::uint16_t productId) {
    char id[32];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X", vendorId, productId);
    return id;
}

}  // namespace usb
