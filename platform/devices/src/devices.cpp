#include "devices/devices.h"

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include "kernel/host.h"

namespace devices {
namespace {

using namespace kernel;

thread_local int theLastError = errorSuccess;
thread_local std::int32_t theLastStatus = STATUS_SUCCESS;

// After a cancelled request the driver gets this long to finish it before the caller
// stops waiting; the request then finishes in the background.
constexpr auto cancelGrace = std::chrono::seconds(5);

void fail(Status status, int error) {
    theLastStatus = status;
    theLastError = error;
}

void fail(Status status) { fail(status, errorFromStatus(status)); }

void succeed() {
    theLastStatus = STATUS_SUCCESS;
    theLastError = errorSuccess;
}

// What one request needs after the caller may have stopped waiting: its buffer and its
// completion state. A request left behind is freed when it finishes.
struct Request {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    std::atomic<bool> finished{false};  // done, readable without the lock
    bool abandoned = false;
    Status status = STATUS_PENDING;
    std::uintptr_t information = 0;
    std::vector<std::uint8_t> buffer;  // the data the request moves
    std::vector<std::uint8_t> input;   // a device control's input
    Irp* irp = nullptr;
    FileObject* file = nullptr;
};

// File references of abandoned requests, dropped later on a caller's thread: the last
// one may send a close, which cannot happen where the request finished.
std::mutex& orphanMutex() {
    static std::mutex m;
    return m;
}
std::vector<FileObject*>& orphans() {
    static std::vector<FileObject*> v;
    return v;
}

void reapOrphans() {
    std::vector<FileObject*> files;
    {
        std::lock_guard lock(orphanMutex());
        files.swap(orphans());
    }
    for (FileObject* f : files) fileDereference(f);
}

void freeRequest(Irp* irp) {
    if (irp->MdlAddress) IoFreeMdl(irp->MdlAddress);
    IoFreeIrp(irp);
}

std::shared_ptr<Request> newRequest(FileObject* file, DeviceObject* target) {
    auto r = std::make_shared<Request>();
    r->file = file;
    r->irp = IoAllocateIrp(target->StackSize, false);
    r->irp->origin = Irp::Origin::Host;
    r->irp->Tail.OriginalFileObject = file;
    r->irp->RequestorMode = UserMode;
    r->irp->onFinished = [r](Irp* irp) {
        std::lock_guard lock(r->mutex);
        r->done = true;
        r->finished.store(true);
        r->status = irp->IoStatus.Status;
        r->information = irp->IoStatus.Information;
        if (r->abandoned) {
            freeRequest(irp);
            std::lock_guard orphanLock(orphanMutex());
            orphans().push_back(r->file);
        }
        r->cv.notify_all();
    };
    fileReference(file);
    return r;
}

// Sends the request and waits for it, cancelling it at the deadline. False when the
// caller must give up on it (it was abandoned).
bool sendAndWait(const std::shared_ptr<Request>& r, DeviceObject* target, unsigned timeoutMs,
                 bool* timedOut) {
    *timedOut = false;
    IoCallDriver(target, r->irp);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // Most requests end within microseconds: look a few times before sleeping.
    auto spin = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::microseconds(50));
    while (!r->finished.load() && std::chrono::steady_clock::now() < spin) std::this_thread::yield();
    std::unique_lock lock(r->mutex);
    if (r->cv.wait_until(lock, deadline, [&] { return r->done; })) return true;
    *timedOut = true;
    lock.unlock();
    IoCancelIrp(r->irp);  // the request is not freed before we say so
    lock.lock();
    if (r->cv.wait_for(lock, cancelGrace, [&] { return r->done; })) return true;
    r->abandoned = true;
    return false;
}

void finishRequest(const std::shared_ptr<Request>& r) {
    freeRequest(r->irp);
    fileDereference(r->file);
}

long transfer(Handle& handle, std::uint8_t major, void* data, std::size_t length,
              unsigned timeoutMs) {
    reapOrphans();
    if (!handle.valid()) {
        fail(STATUS_INVALID_HANDLE);
        return -1;
    }
    if (length > 0xFFFFFFFFu) {
        fail(STATUS_INVALID_PARAMETER);
        return -1;
    }
    FileObject* file = handle.file();
    DeviceObject* target = fileTarget(file);
    auto r = newRequest(file, target);
    r->buffer.resize(length);
    if (major == IRP_MJ_WRITE && length) std::memcpy(r->buffer.data(), data, length);
    Irp* irp = r->irp;
    void* buffer = length ? r->buffer.data() : nullptr;
    if (target->Flags & DO_DIRECT_IO) {
        if (length) IoAllocateMdl(buffer, static_cast<std::uint32_t>(length), false, false, irp);
    } else if (target->Flags & DO_BUFFERED_IO) {
        irp->AssociatedIrp.SystemBuffer = buffer;
    } else {
        irp->UserBuffer = buffer;
    }
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = major;
    s->FileObject = file;
    if (major == IRP_MJ_READ)
        s->Parameters.Read.Length = static_cast<std::uint32_t>(length);
    else
        s->Parameters.Write.Length = static_cast<std::uint32_t>(length);

    bool timedOut;
    if (!sendAndWait(r, target, timeoutMs, &timedOut)) {
        fail(STATUS_IO_TIMEOUT, errorTimeout);
        return -1;
    }
    Status status = r->status;
    std::size_t got = std::min<std::size_t>(r->information, length);
    finishRequest(r);
    if (!NT_SUCCESS(status)) {
        if (timedOut)
            fail(status, errorTimeout);
        else
            fail(status);
        return -1;
    }
    if (major == IRP_MJ_READ && got) std::memcpy(data, r->buffer.data(), got);
    succeed();
    return static_cast<long>(got);
}

}  // namespace

int errorFromStatus(std::int32_t status) {
    switch (status) {
    case STATUS_SUCCESS: return errorSuccess;
    case STATUS_INVALID_HANDLE: return errorInvalidHandle;
    case STATUS_OBJECT_NAME_NOT_FOUND:
    case STATUS_NO_SUCH_DEVICE: return errorFileNotFound;
    case STATUS_DELETE_PENDING:
    case STATUS_ACCESS_DENIED: return errorAccessDenied;
    case STATUS_INVALID_PARAMETER: return errorInvalidParameter;
    case STATUS_INVALID_DEVICE_REQUEST: return errorInvalidFunction;
    case STATUS_INSUFFICIENT_RESOURCES: return errorNotEnoughMemory;
    case STATUS_NOT_SUPPORTED: return errorNotSupported;
    case STATUS_BUFFER_TOO_SMALL: return errorInsufficientBuffer;
    case STATUS_CANCELLED: return errorOperationAborted;
    case STATUS_DEVICE_NOT_CONNECTED: return errorDeviceNotConnected;
    case STATUS_IO_TIMEOUT: return errorTimeout;
    case STATUS_DEVICE_BUSY: return errorBusy;
    default: return errorGenFailure;
    }
}

int lastError() { return theLastError; }
std::int32_t lastStatus() { return theLastStatus; }

std::vector<std::string> enumerateInterfaces(const Guid& interfaceClass) {
    return enabledInterfaces(interfaceClass);
}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        close();
        file_ = other.file_;
        other.file_ = nullptr;
    }
    return *this;
}

void Handle::close() {
    if (!file_) return;
    fileClose(file_);
    file_ = nullptr;
}

Handle open(const std::string& path) {
    reapOrphans();
    FileObject* file = nullptr;
    Status status = fileOpen(path, &file);
    if (!NT_SUCCESS(status)) {
        fail(status);
        return Handle();
    }
    succeed();
    return Handle(file);
}

long write(Handle& handle, const void* data, std::size_t length, unsigned timeoutMs) {
    return transfer(handle, IRP_MJ_WRITE, const_cast<void*>(data), length, timeoutMs);
}

long read(Handle& handle, void* data, std::size_t length, unsigned timeoutMs) {
    return transfer(handle, IRP_MJ_READ, data, length, timeoutMs);
}

bool deviceControl(Handle& handle, std::uint32_t code, const void* in, std::size_t inLength,
                   void* out, std::size_t outLength, std::size_t* returned,
                   unsigned timeoutMs) {
    reapOrphans();
    if (returned) *returned = 0;
    if (!handle.valid()) {
        fail(STATUS_INVALID_HANDLE);
        return false;
    }
    if (inLength > 0xFFFFFFFFu || outLength > 0xFFFFFFFFu || (inLength && !in) || (outLength && !out)) {
        fail(STATUS_INVALID_PARAMETER);
        return false;
    }
    FileObject* file = handle.file();
    DeviceObject* target = fileTarget(file);
    auto r = newRequest(file, target);
    Irp* irp = r->irp;
    std::uint32_t method = code & 3;
    const auto* input = static_cast<const std::uint8_t*>(in);
    if (method == METHOD_BUFFERED) {
        r->buffer.assign(std::max(inLength, outLength), 0);
        if (inLength) std::memcpy(r->buffer.data(), input, inLength);
        irp->AssociatedIrp.SystemBuffer = r->buffer.empty() ? nullptr : r->buffer.data();
    } else {
        r->input.assign(input, input + inLength);
        r->buffer.assign(outLength, 0);
        if (method == METHOD_IN_DIRECT && outLength) std::memcpy(r->buffer.data(), out, outLength);
        void* outBuffer = outLength ? r->buffer.data() : nullptr;
        if (method == METHOD_NEITHER) {
            irp->UserBuffer = outBuffer;
        } else {
            irp->AssociatedIrp.SystemBuffer = r->input.empty() ? nullptr : r->input.data();
            if (outLength) IoAllocateMdl(outBuffer, static_cast<std::uint32_t>(outLength), false, false, irp);
        }
    }
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_DEVICE_CONTROL;
    s->FileObject = file;
    s->Parameters.DeviceIoControl.IoControlCode = code;
    s->Parameters.DeviceIoControl.InputBufferLength = static_cast<std::uint32_t>(inLength);
    s->Parameters.DeviceIoControl.OutputBufferLength = static_cast<std::uint32_t>(outLength);
    if (method == METHOD_NEITHER) s->Parameters.DeviceIoControl.Type3InputBuffer = r->input.empty() ? nullptr : r->input.data();

    bool timedOut;
    if (!sendAndWait(r, target, timeoutMs, &timedOut)) {
        fail(STATUS_IO_TIMEOUT, errorTimeout);
        return false;
    }
    Status status = r->status;
    std::size_t got = std::min<std::size_t>(r->information, outLength);
    finishRequest(r);
    if (!NT_SUCCESS(status)) {
        fail(status, timedOut ? errorTimeout : errorFromStatus(status));
        return false;
    }
    if (got && method != METHOD_IN_DIRECT) std::memcpy(out, r->buffer.data(), got);
    if (returned) *returned = got;
    succeed();
    return true;
}

std::optional<DriverVersion> driverVersion(const std::string& libraryPath) {
    void* library = dlopen(libraryPath.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (!library) return std::nullopt;
    std::optional<DriverVersion> out;
    if (auto* record = static_cast<const DriverVersionRecord*>(dlsym(library, "DriverVersion")))
        out = DriverVersion{record->name ? record->name : "", record->productVersion ? record->productVersion : ""};
    dlclose(library);
    return out;
}

}  // namespace devices
