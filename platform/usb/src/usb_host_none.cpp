// A build without libusb: there is no USB stack to serve a real reader.
#include "usb/usb_host.h"

namespace usb {

std::unique_ptr<UsbHost> UsbHost::libusb(std::string* error) {
    if (error) *error = "this build has no libusb";
    return nullptr;
}

}  // namespace usb
