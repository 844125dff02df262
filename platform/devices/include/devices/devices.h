#pragma once
// The user-mode device API: find a device interface by its class, open a pipe of it,
// read and write with bounded waits, send device controls, close.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/reader_class.h"

namespace kernel {
struct FileObject;
}

namespace devices {

// Paths of the present, enabled interfaces of a class, in the order they arrived.
std::vector<std::string> enumerateInterfaces(const Guid& interfaceClass);

// An open file on a device: "<interface path>" or "<interface path>\<name>". Closing
// always succeeds; the destructor closes.
class Handle {
public:
    Handle() = default;
    explicit Handle(kernel::FileObject* file) : file_(file) {}
    Handle(Handle&& other) noexcept : file_(other.file_) { other.file_ = nullptr; }
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle() { close(); }

    bool valid() const { return file_ != nullptr; }
    void close();
    kernel::FileObject* file() const { return file_; }

private:
    kernel::FileObject* file_ = nullptr;
};

// An invalid handle and lastError() on failure.
Handle open(const std::string& path);

constexpr unsigned defaultWriteTimeoutMs = 10000;

// Bytes written, or -1 (lastError()). A write the device does not take within the
// time-out is cancelled.
long write(Handle& handle, const void* data, std::size_t length,
           unsigned timeoutMs = defaultWriteTimeoutMs);
// Bytes read (0 is a valid, empty transfer), or -1 on failure or time-out: at the
// deadline the request is cancelled and lastError() is errorTimeout.
long read(Handle& handle, void* data, std::size_t length, unsigned timeoutMs);
// A device control; the bytes returned are clamped to `outLength`.
bool deviceControl(Handle& handle, std::uint32_t code, const void* in, std::size_t inLength,
                   void* out, std::size_t outLength, std::size_t* returned,
                   unsigned timeoutMs = defaultWriteTimeoutMs);

// The calling thread's last error, in the platform's numbering.
int lastError();
constexpr int errorSuccess = 0;
constexpr int errorInvalidFunction = 1;
constexpr int errorFileNotFound = 2;
constexpr int errorAccessDenied = 5;
constexpr int errorInvalidHandle = 6;
constexpr int errorNotEnoughMemory = 8;
constexpr int errorGenFailure = 31;
constexpr int errorNotSupported = 50;
constexpr int errorInvalidParameter = 87;
constexpr int errorInsufficientBuffer = 122;
constexpr int errorTimeout = 1460;
constexpr int errorOperationAborted = 995;
constexpr int errorDeviceNotConnected = 1167;
constexpr int errorBusy = 170;
// The platform's status behind a failure, for logs and tests.
std::int32_t lastStatus();
int errorFromStatus(std::int32_t status);

// The version record a driver library file exports ("DriverVersion"); none when the
// file is missing or has no record.
struct DriverVersion {
    std::string name;
    std::string productVersion;
};
std::optional<DriverVersion> driverVersion(const std::string& libraryPath);

}  // namespace devices
