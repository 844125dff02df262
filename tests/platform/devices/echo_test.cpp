// The whole path: device API -> I/O manager -> a small driver written here -> emulated
// bus -> a function that echoes what it receives.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <numeric>

#include "devices/devices.h"
#include "kernel/host.h"
#include "kernel/pool.h"
#include "kernel/registry.h"
#include "test_function.h"
#include "usb/emulated_bus.h"

namespace dt {
namespace {

using namespace kernel;
using namespace usb;

const Guid echoClass{0xec0ec0ec, 0x1234, 0x5678, {1, 2, 3, 4, 5, 6, 7, 8}};

// ---- the driver ----

struct Fdo {
    DeviceObject* lower;
    UnicodeString link;
    PipeHandle pipes[2];
    std::uint32_t segment;
};

thread_local int depth = 0;
std::atomic<int> deepest{0};
std::atomic<int> cancelledSegments{0};

Status signal(DeviceObject*, Irp*, void* event) {
    KeSetEvent(static_cast<Event*>(event), 0, false);
    return STATUS_MORE_PROCESSING_REQUIRED;
}

Status forwardAndWait(Fdo* fdo, Irp* irp) {
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    IoCopyCurrentIrpStackLocationToNext(irp);
    IoSetCompletionRoutine(irp, signal, &done, true, true, true);
    if (IoCallDriver(fdo->lower, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);
    return irp->IoStatus.Status;
}

Status submitUrb(Fdo* fdo, Urb* urb) {
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    IoStatusBlock io;
    Irp* irp = IoBuildDeviceIoControlRequest(IOCTL_INTERNAL_USB_SUBMIT_URB, fdo->lower, nullptr, 0, nullptr, 0, true,
                                             &done, &io);
    IoGetNextIrpStackLocation(irp)->Parameters.Others.Argument1 = urb;
    if (IoCallDriver(fdo->lower, irp) == STATUS_PENDING)
        KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);
    return io.Status;
}

Status configure(Fdo* fdo) {
    std::vector<std::uint8_t> config(256);
    Urb urb;
    UsbBuildGetDescriptorRequest(&urb, sizeof(UrbControlDescriptorRequest), USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0,
                                 config.data(), nullptr, 256, nullptr);
    Status status = submitUrb(fdo, &urb);
    if (!NT_SUCCESS(status)) return status;
    auto* cd = reinterpret_cast<ConfigurationDescriptor*>(config.data());
    InterfaceListEntry list[2] = {{USBD_ParseConfigurationDescriptorEx(cd, cd, 0, -1, -1, -1, -1), nullptr}, {}};
    Urb* select = USBD_CreateConfigurationRequestEx(cd, list);
    status = submitUrb(fdo, select);
    for (int i = 0; i < 2; ++i) fdo->pipes[i] = pipeAt(list[0].Interface, i)->PipeHandle;
    fdo->segment = pipeAt(list[0].Interface, 0)->MaximumPacketSize;
    ExFreePool(select);
    return status;
}

Status complete(Irp* irp, Status status, std::uintptr_t information = 0) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

Status pnpDispatch(DeviceObject* device, Irp* irp) {
    auto* fdo = static_cast<Fdo*>(device->DeviceExtension);
    std::uint8_t minor = IoGetCurrentIrpStackLocation(irp)->MinorFunction;
    if (minor == IRP_MN_START_DEVICE) {
        Status status = forwardAndWait(fdo, irp);
        if (NT_SUCCESS(status)) status = configure(fdo);
        return complete(irp, status);
    }
    if (minor == IRP_MN_SURPRISE_REMOVAL || minor == IRP_MN_REMOVE_DEVICE)
        IoSetDeviceInterfaceState(&fdo->link, false);
    IoSkipCurrentIrpStackLocation(irp);
    Status status = IoCallDriver(fdo->lower, irp);
    if (minor == IRP_MN_REMOVE_DEVICE) {
        RtlFreeUnicodeString(&fdo->link);
        IoDetachDevice(fdo->lower);
        IoDeleteDevice(device);
    }
    return status;
}

Status createClose(DeviceObject*, Irp* irp) {
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    if (s->MajorFunction == IRP_MJ_CREATE) {
        std::string name = toUtf8(s->FileObject->FileName);
        if (name != "\\PIPE00" && name != "\\PIPE01") return complete(irp, STATUS_INVALID_HANDLE);
        s->FileObject->FsContext = reinterpret_cast<void*>(std::uintptr_t(name.back() - '0'));
    }
    return complete(irp, STATUS_SUCCESS);
}

// One read or write, sent down again for each segment of one packet.
struct Transfer {
    Urb urb;
    Mdl* partial;
    std::uint8_t* next;
    std::uint32_t remaining, done, segment;
    Fdo* fdo;
};

void sendSegment(Irp* irp, Transfer* t);

Status segmentDone(DeviceObject*, Irp* irp, void* context) {
    auto* t = static_cast<Transfer*>(context);
    deepest = std::max(deepest.load(), ++depth);
    Status status = irp->IoStatus.Status;
    if (status == STATUS_CANCELLED) ++cancelledSegments;
    std::uint32_t got = t->urb.UrbBulkOrInterruptTransfer.TransferBufferLength;
    if (NT_SUCCESS(status)) t->done += got;
    if (NT_SUCCESS(status) && t->remaining > 0 && got == t->segment) {
        sendSegment(irp, t);
        --depth;
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    irp->IoStatus.Information = NT_SUCCESS(status) ? t->done : 0;
    if (t->partial) IoFreeMdl(t->partial);
    delete t;
    --depth;
    if (irp->PendingReturned) IoMarkIrpPending(irp);
    return status;
}

void sendSegment(Irp* irp, Transfer* t) {
    std::uint32_t n = std::min(t->segment, t->remaining);
    if (t->partial) {
        MmPrepareMdlForReuse(t->partial);
        IoBuildPartialMdl(irp->MdlAddress, t->partial, t->next, n);
    }
    t->urb.UrbBulkOrInterruptTransfer.TransferBufferLength = n;
    t->next += n;
    t->remaining -= n;
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    s->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    s->Parameters.Others.Argument1 = &t->urb;
    IoSetCompletionRoutine(irp, segmentDone, t, true, true, true);
    IoCallDriver(t->fdo->lower, irp);
}

Status readWrite(DeviceObject* device, Irp* irp) {
    auto* fdo = static_cast<Fdo*>(device->DeviceExtension);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    bool read = s->MajorFunction == IRP_MJ_READ;
    auto pipe = reinterpret_cast<std::uintptr_t>(s->FileObject->FsContext);
    std::uint32_t length = irp->MdlAddress ? MmGetMdlByteCount(irp->MdlAddress) : 0;
    auto* t = new Transfer{};
    t->fdo = fdo;
    t->segment = fdo->segment;
    t->remaining = length;
    t->next = irp->MdlAddress ? static_cast<std::uint8_t*>(MmGetMdlVirtualAddress(irp->MdlAddress)) : nullptr;
    if (length) t->partial = IoAllocateMdl(t->next, length, false, false, nullptr);
    UsbBuildInterruptOrBulkTransferRequest(&t->urb, sizeof(UrbBulkOrInterruptTransfer), fdo->pipes[pipe], nullptr,
                                           t->partial, 0, read ? USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK
                                                               : USBD_SHORT_TRANSFER_OK, nullptr);
    IoMarkIrpPending(irp);
    sendSegment(irp, t);
    return STATUS_PENDING;
}

Status deviceControl(DeviceObject*, Irp* irp) {
    // Answers with more bytes than the caller can take: the I/O manager clamps them.
    auto* out = static_cast<std::uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    std::uint32_t room = std::max(IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.OutputBufferLength,
                                  IoGetCurrentIrpStackLocation(irp)->Parameters.DeviceIoControl.InputBufferLength);
    for (std::uint32_t i = 0; i < room; ++i) out[i] = static_cast<std::uint8_t>(0xA0 + i);
    return complete(irp, STATUS_SUCCESS, room + 8);
}

Status addDevice(DriverObject* driver, DeviceObject* pdo) {
    DeviceObject* device = nullptr;
    IoCreateDevice(driver, sizeof(Fdo), nullptr, FILE_DEVICE_UNKNOWN, FILE_AUTOGENERATED_DEVICE_NAME, false, &device);
    auto* fdo = static_cast<Fdo*>(device->DeviceExtension);
    fdo->lower = IoAttachDeviceToDeviceStack(device, pdo);
    device->Flags = (device->Flags | DO_DIRECT_IO | DO_POWER_PAGABLE) & ~DO_DEVICE_INITIALIZING;
    IoRegisterDeviceInterface(pdo, &echoClass, nullptr, &fdo->link);
    IoSetDeviceInterfaceState(&fdo->link, true);
    return STATUS_SUCCESS;
}

Status entry(DriverObject* driver, const UnicodeString*) {
    driver->MajorFunction[IRP_MJ_PNP] = pnpDispatch;
    driver->MajorFunction[IRP_MJ_CREATE] = createClose;
    driver->MajorFunction[IRP_MJ_CLOSE] = createClose;
    driver->MajorFunction[IRP_MJ_READ] = readWrite;
    driver->MajorFunction[IRP_MJ_WRITE] = readWrite;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = deviceControl;
    driver->AddDevice = addDevice;
    return STATUS_SUCCESS;
}

// ---- the tests ----

class Echo : public ::testing::Test {
protected:
    void SetUp() override {
        driver = loadDriver("echo", entry);
        pnp::bindDriver("USB\\VID_0A5C&PID_0700", driver);
        port = bus->plug(fn);
        ASSERT_EQ(bus->arrivalStatus(port), STATUS_SUCCESS);
        auto found = devices::enumerateInterfaces(echoClass);
        ASSERT_EQ(found.size(), 1u);
        path = found[0];
        deepest = 0;
        cancelledSegments = 0;
    }
    void TearDown() override {
        bus.reset();
        unloadDriver(driver);
    }

    ut::TestFunction fn{64, true};
    std::unique_ptr<EmulatedBus> bus = std::make_unique<EmulatedBus>();
    EmulatedBus::PortId port = 0;
    DriverObject* driver = nullptr;
    std::string path;
};

TEST_F(Echo, BytesWrittenComeBackThroughTheWholePath) {
    devices::Handle in = devices::open(path + "\\PIPE01");
    devices::Handle out = devices::open(path + "\\PIPE00");
    ASSERT_TRUE(in.valid() && out.valid());
    std::vector<std::uint8_t> sent(100);
    std::iota(sent.begin(), sent.end(), 1);
    EXPECT_EQ(devices::write(out, sent.data(), sent.size()), 100);
    std::vector<std::uint8_t> got(100);
    EXPECT_EQ(devices::read(in, got.data(), got.size(), 4000), 100);
    EXPECT_EQ(got, sent);
}

TEST_F(Echo, ASixteenKibReadGoesIn256SegmentsWithoutRecursing) {
    devices::Handle in = devices::open(path + "\\PIPE01");
    devices::Handle out = devices::open(path + "\\PIPE00");
    std::vector<std::uint8_t> block(16384);
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
    ASSERT_EQ(devices::write(out, block.data(), block.size()), 16384);
    bus->clearUrbLog();
    std::vector<std::uint8_t> got(16384);
    EXPECT_EQ(devices::read(in, got.data(), got.size(), 4000), 16384);
    EXPECT_EQ(got, block);
    auto log = bus->urbLog();
    EXPECT_EQ(log.size(), 256u);
    EXPECT_TRUE(std::all_of(log.begin(), log.end(), [](auto& e) { return e.endpoint == 0x81 && e.length == 64; }));
    EXPECT_EQ(deepest.load(), 1) << "each segment completes on the controller thread, not inside the last one";
}

TEST_F(Echo, ASilentDeviceGivesATimeOutAndTheReadIsCancelled) {
    devices::Handle in = devices::open(path + "\\PIPE01");
    std::vector<std::uint8_t> got(8);
    EXPECT_EQ(devices::read(in, got.data(), got.size(), 30), -1);
    EXPECT_EQ(devices::lastError(), devices::errorTimeout);
    EXPECT_EQ(devices::lastStatus(), STATUS_CANCELLED);
    EXPECT_EQ(cancelledSegments.load(), 1);
    // The pipe works on afterwards.
    devices::Handle out = devices::open(path + "\\PIPE00");
    std::uint8_t b[3] = {9, 8, 7};
    EXPECT_EQ(devices::write(out, b, 3), 3);
    EXPECT_EQ(devices::read(in, got.data(), got.size(), 4000), 3);
}

TEST_F(Echo, FailuresReportThePlatformsErrors) {
    EXPECT_FALSE(devices::open(path + "\\PIPE07").valid());
    EXPECT_EQ(devices::lastError(), devices::errorInvalidHandle);
    EXPECT_FALSE(devices::open("\\\\?\\usb#nothing").valid());
    EXPECT_EQ(devices::lastError(), devices::errorFileNotFound);
    devices::Handle none;
    std::uint8_t b[1];
    EXPECT_EQ(devices::read(none, b, 1, 10), -1);
    EXPECT_EQ(devices::lastError(), devices::errorInvalidHandle);
    EXPECT_FALSE(devices::driverVersion("/nonexistent/pipedrv64.so"));
}

TEST_F(Echo, DeviceControlCopiesBackNoMoreThanTheCallerHasRoom) {
    devices::Handle h = devices::open(path + "\\PIPE00");
    std::uint8_t in[2] = {1, 2};
    std::uint8_t outBuffer[6] = {};
    std::size_t returned = 99;
    ASSERT_TRUE(devices::deviceControl(h, 0x230000, in, 2, outBuffer, 4, &returned));
    EXPECT_EQ(returned, 4u);
    EXPECT_EQ(outBuffer[3], 0xA3);
    EXPECT_EQ(outBuffer[4], 0) << "nothing beyond the caller's length";
}

TEST_F(Echo, APulledDeviceFailsItsHandlesAndComesBackAtTheSamePath) {
    devices::Handle in = devices::open(path + "\\PIPE01");
    bus->pull(port);
    std::uint8_t b[8];
    EXPECT_EQ(devices::read(in, b, 8, 4000), -1);
    EXPECT_EQ(devices::lastError(), devices::errorDeviceNotConnected);
    EXPECT_TRUE(devices::enumerateInterfaces(echoClass).empty());
    EXPECT_EQ(pnp::state(bus->pdo(port)), pnp::NodeState::SurpriseRemoved);
    in.close();  // the stack goes with the last handle
    EXPECT_EQ(bus->pdo(port), nullptr);
    port = bus->plug(fn);
    EXPECT_EQ(devices::enumerateInterfaces(echoClass), std::vector<std::string>{path});
    devices::Handle again = devices::open(path + "\\PIPE00");
    EXPECT_TRUE(again.valid());
}

}  // namespace
}  // namespace dt
