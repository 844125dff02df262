// The libusb bus through its seam: a fake USB host whose devices are function models.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>

#include "fake_usb_host.h"
#include "kernel/host.h"
#include "kernel/pool.h"
#include "kernel/registry.h"
#include "kernel/strings.h"
#include "test_function.h"
#include "usb/libusb_bus.h"
#include "usb/urb.h"

namespace ut {
namespace {

using namespace kernel;
using namespace usb;

// The same function under another product id.
class OtherFunction : public TestFunction {
public:
    std::vector<std::uint8_t> descriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language) const override {
        auto d = TestFunction::descriptor(type, index, language);
        if (type == USB_DEVICE_DESCRIPTOR_TYPE) d[10] = 0x99;
        return d;
    }
};

ReaderMatch readerMatch() {
    std::string error;
    auto m = parseReaderMatch("VendorId=0x0a5c\nProductId=0x0700\nTargetInterfaceClass=255\n", &error);
    EXPECT_TRUE(m) << error;
    return *m;
}

struct Pending {
    Irp* irp = nullptr;
    std::shared_ptr<std::pair<std::mutex, std::condition_variable>> sync =
        std::make_shared<std::pair<std::mutex, std::condition_variable>>();
    std::shared_ptr<bool> done = std::make_shared<bool>(false);
};

class LibusbBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        registry::clear();
        auto owned = std::make_unique<FakeUsbHost>();
        host = owned.get();
        reader = host->plug(fn, "1-2");
        host->plug(other, "1-3");
        bus = std::make_unique<LibusbBus>(std::move(owned), readerMatch());
        ASSERT_EQ(bus->pdos().size(), 1u);
        pdo = bus->pdos()[0];
    }
    void TearDown() override {
        bus.reset();
        registry::clear();
    }

    Pending post(std::uint32_t code, void* argument, DeviceObject* to = nullptr) {
        Pending p;
        p.irp = IoAllocateIrp((to ? to : pdo)->StackSize, false);
        p.irp->origin = Irp::Origin::Host;
        p.irp->onFinished = [sync = p.sync, done = p.done](Irp*) {
            std::lock_guard lock(sync->first);
            *done = true;
            sync->second.notify_all();
        };
        IoStackLocation* s = IoGetNextIrpStackLocation(p.irp);
        s->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        s->Parameters.DeviceIoControl.IoControlCode = code;
        s->Parameters.Others.Argument1 = argument;
        EXPECT_EQ(IoCallDriver(to ? to : pdo, p.irp), STATUS_PENDING);
        return p;
    }
    static Status wait(Pending& p) {
        std::unique_lock lock(p.sync->first);
        p.sync->second.wait(lock, [&] { return *p.done; });
        Status s = p.irp->IoStatus.Status;
        lock.unlock();
        IoFreeIrp(p.irp);
        return s;
    }
    Status submit(Urb* urb) {
        Pending p = post(IOCTL_INTERNAL_USB_SUBMIT_URB, urb);
        return wait(p);
    }

    void configure() {
        std::vector<std::uint8_t> config(600);
        Urb urb;
        UsbBuildGetDescriptorRequest(&urb, sizeof(UrbControlDescriptorRequest), USB_CONFIGURATION_DESCRIPTOR_TYPE, 0,
                                     0, config.data(), nullptr, static_cast<std::uint32_t>(config.size()), nullptr);
        ASSERT_EQ(submit(&urb), STATUS_SUCCESS);
        auto* cd = reinterpret_cast<ConfigurationDescriptor*>(config.data());
        InterfaceListEntry list[2] = {{USBD_ParseConfigurationDescriptorEx(cd, cd, 0, -1, -1, -1, -1), nullptr},
                                      {nullptr, nullptr}};
        Urb* select = USBD_CreateConfigurationRequestEx(cd, list);
        ASSERT_EQ(submit(select), STATUS_SUCCESS);
        outPipe = *pipeAt(list[0].Interface, 0);
        inPipe = *pipeAt(list[0].Interface, 1);
        ExFreePool(select);
    }
    Status bulk(const PipeInformation& pipe, std::vector<std::uint8_t>& buffer, std::uint32_t flags,
                std::uint32_t* moved = nullptr) {
        Urb urb;
        UsbBuildInterruptOrBulkTransferRequest(&urb, sizeof(UrbBulkOrInterruptTransfer), pipe.PipeHandle, buffer.data(),
                                               nullptr, static_cast<std::uint32_t>(buffer.size()), flags, nullptr);
        Status s = submit(&urb);
        if (moved) *moved = urb.UrbBulkOrInterruptTransfer.TransferBufferLength;
        return s;
    }
    Status pipeRequest(std::uint16_t function, PipeHandle pipe) {
        Urb urb{};
        urb.UrbPipeRequest.Hdr.Length = sizeof(UrbPipeRequest);
        urb.UrbPipeRequest.Hdr.Function = function;
        urb.UrbPipeRequest.PipeHandle = pipe;
        return submit(&urb);
    }

    TestFunction fn{64};
    OtherFunction other;
    FakeUsbHost* host = nullptr;
    UsbHost::DeviceRef reader = 0;
    std::unique_ptr<LibusbBus> bus;
    DeviceObject* pdo = nullptr;
    PipeInformation outPipe{}, inPipe{};
};

TEST(ReaderMatchFile, NamesTheIdsAndTheDriverValuesAndRefusesWhatItDoesNotKnow) {
    std::string error;
    auto m = parseReaderMatch(
        "# the reader\n VendorId = 0x0A5C \nProductId=1792\ntargetinterfaceclass=-1\nEP2_SegmentSize=100 # comment\n",
        &error);
    ASSERT_TRUE(m) << error;
    EXPECT_EQ(m->vendorId, 0x0A5C);
    EXPECT_EQ(m->productId, 0x0700);
    ASSERT_EQ(m->values.size(), 2u);
    EXPECT_EQ(m->values[0].first, "TargetInterfaceClass");
    EXPECT_EQ(m->values[0].second, 0xFFFFFFFFu);
    EXPECT_EQ(m->values[1].first, "EP2_SegmentSize");

    struct Case {
        const char* text;
        const char* message;
    } bad[] = {
        {"VendorId=0x0a5c\n", "VendorId and ProductId are both required"},
        {"VendorId=0x10000\nProductId=1\n", "line 1: an id is 0 to 0xFFFF"},
        {"VendorId=1\nProductId=1\nColour=3\n", "line 3: unknown name Colour"},
        {"VendorId=1\nProductId\n", "line 2: expected Name=value"},
        {"VendorId=1\nProductId=12ab\n", "line 2: not a number"},
        {"VendorId=1\nProductId=1\nDebugLevel=0x100000000\n", "line 3: value out of range"},
    };
    for (const Case& c : bad) {
        error.clear();
        EXPECT_FALSE(parseReaderMatch(c.text, &error)) << c.text;
        EXPECT_EQ(error, c.message) << c.text;
    }
}

TEST(ReaderMatchFile, WithoutAFileThereIsNothingToServeAndNoComplaint) {
    auto folder = std::filesystem::temp_directory_path() / ("libusb-bus-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::string error;
    EXPECT_EQ(LibusbBus::fromProgramFolder(folder, &error), nullptr);
    EXPECT_EQ(error, "");
    std::ofstream(folder / kReaderConfigFile) << "VendorId=zz\n";
    EXPECT_EQ(LibusbBus::fromProgramFolder(folder, &error), nullptr);
    EXPECT_NE(error.find("line 1: not a number"), std::string::npos) << error;
    std::filesystem::remove_all(folder);
}

TEST(LibusbBusEmpty, NoMatchingDeviceMeansNoDeviceObject) {
    auto owned = std::make_unique<FakeUsbHost>();
    OtherFunction other;
    owned->plug(other, "1-1");
    LibusbBus bus(std::move(owned), readerMatch());
    EXPECT_TRUE(bus.pdos().empty());
}

TEST(LibusbBusOpen, AReaderThatCannotBeOpenedIsNotServedAndTheMessageSaysWhy) {
    struct Case {
        UsbHost::Result result;
        const char* says;
        bool udevRule;
    };
    const Case cases[] = {
        {UsbHost::Result::Access, "permission denied", true},
        {UsbHost::Result::Gone, "unplugged", false},
    };
    for (const Case& c : cases) {
        auto owned = std::make_unique<FakeUsbHost>();
        TestFunction fn{64};
        owned->failOpen(c.result);
        owned->plug(fn, "1-4");
        ::testing::internal::CaptureStderr();
        {
            LibusbBus bus(std::move(owned), readerMatch());
            EXPECT_TRUE(bus.pdos().empty());
        }
        std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(said.find("reader at 1-4"), std::string::npos) << said;
        EXPECT_NE(said.find(c.says), std::string::npos) << said;
        EXPECT_EQ(said.find("udev") != std::string::npos, c.udevRule) << said;
    }
}

TEST_F(LibusbBusTest, OnlyTheMatchingDeviceIsServedWithItsIdentityAndDriverValues) {
    auto identity = pnp::identity(pdo);
    ASSERT_TRUE(identity);
    EXPECT_EQ(identity->hardwareId, "USB\\VID_0A5C&PID_0700");
    EXPECT_EQ(identity->instanceId, "USB\\VID_0A5C&PID_0700\\1-2");
    EXPECT_EQ(host->calls(), std::vector<std::string>{"open"});

    Handle key = nullptr;
    ASSERT_EQ(IoOpenDeviceRegistryKey(pdo, PLUGPLAY_REGKEY_DEVICE, KEY_ALL_ACCESS, &key), STATUS_SUCCESS);
    UnicodeString name;
    std::u16string text = u"TargetInterfaceClass";
    RtlInitUnicodeString(&name, text.c_str());
    std::vector<std::uint8_t> buffer(128);
    std::uint32_t got = 0;
    ASSERT_EQ(ZwQueryValueKey(key, &name, KeyValueFullInformation, buffer.data(), 128, &got), STATUS_SUCCESS);
    auto* info = reinterpret_cast<KeyValueFullInfo*>(buffer.data());
    std::uint32_t value = 0;
    std::memcpy(&value, buffer.data() + info->DataOffset, 4);
    EXPECT_EQ(value, 255u);
    ZwClose(key);
}

TEST_F(LibusbBusTest, DescriptorsComeFromTheCopyAndSelectionClaimsTheInterface) {
    std::vector<std::uint8_t> device(18);
    Urb urb;
    UsbBuildGetDescriptorRequest(&urb, sizeof(UrbControlDescriptorRequest), USB_DEVICE_DESCRIPTOR_TYPE, 0, 0,
                                 device.data(), nullptr, 18, nullptr);
    ASSERT_EQ(submit(&urb), STATUS_SUCCESS);
    EXPECT_EQ(device, fn.descriptor(USB_DEVICE_DESCRIPTOR_TYPE, 0, 0));
    std::vector<std::uint8_t> head(9);
    UsbBuildGetDescriptorRequest(&urb, sizeof(UrbControlDescriptorRequest), USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0,
                                 head.data(), nullptr, 9, nullptr);
    ASSERT_EQ(submit(&urb), STATUS_SUCCESS);
    EXPECT_EQ(urb.UrbControlDescriptorRequest.TransferBufferLength, 9u);

    host->clearCalls();
    configure();
    EXPECT_EQ(host->calls(), (std::vector<std::string>{"setConfiguration 1", "claim 0"}));
    EXPECT_EQ(fn.configuration(), 1);
    EXPECT_EQ(outPipe.EndpointAddress, 0x01);
    EXPECT_EQ(inPipe.EndpointAddress, 0x81);
    EXPECT_EQ(inPipe.MaximumPacketSize, 64);
    EXPECT_EQ(inPipe.PipeType, UsbdPipeTypeBulk);
    EXPECT_EQ(inPipe.MaximumTransferSize, USBD_DEFAULT_MAXIMUM_TRANSFER_SIZE);  // echoed

    // Unconfiguring releases the interface; the old pipe handles are dead.
    host->clearCalls();
    Urb none;
    UsbBuildSelectConfigurationRequest(&none, sizeof(UrbSelectConfiguration), nullptr);
    ASSERT_EQ(submit(&none), STATUS_SUCCESS);
    EXPECT_EQ(host->calls(), (std::vector<std::string>{"release 0", "setConfiguration -1"}));
    std::vector<std::uint8_t> buffer(4);
    EXPECT_EQ(bulk(outPipe, buffer, 0), STATUS_INVALID_PARAMETER);
}

TEST_F(LibusbBusTest, BulkTransfersMoveBytesAndAShortInNeedsPermission) {
    configure();
    std::vector<std::uint8_t> out(100, 7);
    std::uint32_t moved = 0;
    ASSERT_EQ(bulk(outPipe, out, USBD_SHORT_TRANSFER_OK, &moved), STATUS_SUCCESS);
    EXPECT_EQ(moved, 100u);
    EXPECT_EQ(fn.outBytes(), out);

    fn.queueIn(std::vector<std::uint8_t>(64, 1));
    fn.queueIn({2, 3});
    std::vector<std::uint8_t> in(512);
    ASSERT_EQ(bulk(inPipe, in, USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, &moved), STATUS_SUCCESS);
    EXPECT_EQ(moved, 66u);
    EXPECT_EQ(in[64], 2);

    fn.queueIn({9});
    Urb urb;
    UsbBuildInterruptOrBulkTransferRequest(&urb, sizeof(UrbBulkOrInterruptTransfer), inPipe.PipeHandle, in.data(),
                                           nullptr, 8, USBD_TRANSFER_DIRECTION_IN, nullptr);
    EXPECT_EQ(submit(&urb), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(urb.UrbHeader.Status, static_cast<UsbdStatus>(0xC0000900));
    EXPECT_EQ(urb.UrbBulkOrInterruptTransfer.TransferBufferLength, 1u);

    // A stall fails the transfer until the pipe is reset (the halt is cleared on the device).
    fn.stallIn(true);
    EXPECT_EQ(bulk(inPipe, in, USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(pipeRequest(URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL, inPipe.PipeHandle), STATUS_SUCCESS);
    EXPECT_EQ(fn.clearedHalts(), std::vector<std::uint8_t>{0x81});
}

TEST_F(LibusbBusTest, CancelAndAbortEndPendingReadsBeforeTheAbortEnds) {
    configure();
    std::vector<std::uint8_t> a(64), b(64), c(64);
    Urb ua, ub, uc;
    for (auto [urb, buf] : {std::pair{&ua, &a}, {&ub, &b}, {&uc, &c}})
        UsbBuildInterruptOrBulkTransferRequest(urb, sizeof(UrbBulkOrInterruptTransfer), inPipe.PipeHandle, buf->data(),
                                               nullptr, 64, USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, nullptr);
    Pending first = post(IOCTL_INTERNAL_USB_SUBMIT_URB, &ua);
    IoCancelIrp(first.irp);
    EXPECT_EQ(wait(first), STATUS_CANCELLED);
    EXPECT_EQ(ua.UrbHeader.Status, USBD_STATUS_CANCELED);

    Pending second = post(IOCTL_INTERNAL_USB_SUBMIT_URB, &ub);
    Pending third = post(IOCTL_INTERNAL_USB_SUBMIT_URB, &uc);
    Urb abort{};
    abort.UrbPipeRequest.Hdr.Length = sizeof(UrbPipeRequest);
    abort.UrbPipeRequest.Hdr.Function = URB_FUNCTION_ABORT_PIPE;
    abort.UrbPipeRequest.PipeHandle = inPipe.PipeHandle;
    Pending aborting = post(IOCTL_INTERNAL_USB_SUBMIT_URB, &abort);
    EXPECT_EQ(wait(aborting), STATUS_SUCCESS);
    // The abort ended after both reads had.
    EXPECT_TRUE(*second.done && *third.done);
    EXPECT_EQ(wait(second), STATUS_CANCELLED);
    EXPECT_EQ(wait(third), STATUS_CANCELLED);
    EXPECT_EQ(host->pending(), 0u);
    // With nothing in flight an abort ends at once.
    EXPECT_EQ(pipeRequest(URB_FUNCTION_ABORT_PIPE, inPipe.PipeHandle), STATUS_SUCCESS);
}

TEST_F(LibusbBusTest, ControlRequestsAndPortRequestsMapToTheHost) {
    configure();
    std::vector<std::uint8_t> data(6);
    Urb urb;
    UsbBuildVendorRequest(&urb, URB_FUNCTION_VENDOR_INTERFACE, sizeof(UrbControlVendorOrClassRequest),
                          USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, 0, 11, 0x1234, 0, data.data(), nullptr,
                          6, nullptr);
    ASSERT_EQ(submit(&urb), STATUS_SUCCESS);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6}));
    auto setup = host->setups().back();
    EXPECT_EQ(setup.bmRequestType, 0xC1);
    EXPECT_EQ(setup.bRequest, 11);
    EXPECT_EQ(setup.wValue, 0x1234);
    EXPECT_EQ(setup.wLength, 6);
    UsbBuildVendorRequest(&urb, URB_FUNCTION_CLASS_DEVICE, sizeof(UrbControlVendorOrClassRequest), 0, 0, 1, 0, 0,
                          nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(submit(&urb), STATUS_UNSUCCESSFUL);  // the function stalls class requests
    EXPECT_EQ(urb.UrbHeader.Status, USBD_STATUS_STALL_PID);

    Urb frame{};
    frame.UrbHeader.Length = sizeof(UrbFrameNumber);
    frame.UrbHeader.Function = URB_FUNCTION_GET_CURRENT_FRAME_NUMBER;
    EXPECT_EQ(submit(&frame), STATUS_INVALID_PARAMETER);

    std::uint32_t portStatus = 0;
    Pending p = post(IOCTL_INTERNAL_USB_GET_PORT_STATUS, &portStatus);
    EXPECT_EQ(wait(p), STATUS_SUCCESS);
    EXPECT_EQ(portStatus, USBD_PORT_CONNECTED | USBD_PORT_ENABLED);
    p = post(IOCTL_INTERNAL_USB_ENABLE_PORT, nullptr);
    EXPECT_EQ(wait(p), STATUS_SUCCESS);
    host->clearCalls();
    p = post(IOCTL_INTERNAL_USB_RESET_PORT, nullptr);
    EXPECT_EQ(wait(p), STATUS_SUCCESS);
    EXPECT_EQ(host->calls(), std::vector<std::string>{"reset"});
}

TEST_F(LibusbBusTest, HotPlugAddsAndRemovesTheDeviceAndFailsWhatWasInFlight) {
    configure();
    std::vector<std::uint8_t> in(64);
    Urb urb;
    UsbBuildInterruptOrBulkTransferRequest(&urb, sizeof(UrbBulkOrInterruptTransfer), inPipe.PipeHandle, in.data(),
                                           nullptr, 64, USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, nullptr);
    Pending read = post(IOCTL_INTERNAL_USB_SUBMIT_URB, &urb);
    host->unplug(reader);
    EXPECT_EQ(wait(read), STATUS_DEVICE_NOT_CONNECTED);
    bus->settle();
    EXPECT_TRUE(bus->pdos().empty());

    TestFunction again{64};
    host->plug(again, "1-2");
    // The fake's event thread reports the plug when it gets to run; the port is listed
    // from the start of its arrival, so that arrival is let finish too.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (bus->pdos().empty() && std::chrono::steady_clock::now() < deadline) {
        bus->settle();
        std::this_thread::yield();
    }
    bus->settle();
    ASSERT_EQ(bus->pdos().size(), 1u);
    ASSERT_TRUE(pnp::identity(bus->pdos()[0]));
    EXPECT_EQ(pnp::identity(bus->pdos()[0])->instanceId, "USB\\VID_0A5C&PID_0700\\1-2");
}

TEST_F(LibusbBusTest, ACycledPortComesBackAsANewDeviceObjectOnTheSamePath) {
    host->clearCalls();
    Pending p = post(IOCTL_INTERNAL_USB_CYCLE_PORT, nullptr);
    EXPECT_EQ(wait(p), STATUS_SUCCESS);
    bus->settle();
    ASSERT_EQ(bus->pdos().size(), 1u);
    // With no handle open the old stack went at once, and the device was opened afresh.
    EXPECT_EQ(host->calls(), (std::vector<std::string>{"reset", "close", "open"}));
    EXPECT_EQ(pnp::identity(bus->pdos()[0])->instanceId, "USB\\VID_0A5C&PID_0700\\1-2");
}

// The host's event thread may have taken the watcher just before the bus stopped
// watching, and call it while the bus goes or after: it must reach nothing of the bus.
TEST_F(LibusbBusTest, AHotplugCallbackUnderWayWhileTheBusGoesReachesNothing) {
    auto late = host->watcher();
    ASSERT_TRUE(late);
    bus.reset();
    late(reader, false);
    late(reader, true);
}

TEST_F(LibusbBusTest, PowerIsNotTheBussToGiveAndWaitWakePendsUntilCancelled) {
    DeviceCapabilities caps;
    ASSERT_EQ(pnp::sendPnp(pdo, IRP_MN_QUERY_CAPABILITIES, &caps), STATUS_SUCCESS);
    EXPECT_EQ(caps.DeviceState[PowerSystemWorking], PowerDeviceD0);
    EXPECT_EQ(caps.DeviceState[PowerSystemSleeping1], PowerDeviceD3);
    EXPECT_EQ(caps.DeviceState[PowerSystemHibernate], PowerDeviceD3);
    EXPECT_EQ(caps.SystemWake, PowerSystemUnspecified);
    EXPECT_EQ(caps.DeviceWake, PowerDeviceUnspecified);

    struct Wake {
        std::mutex m;
        std::condition_variable cv;
        bool done = false;
        Status status = STATUS_PENDING;
    } wake;
    PowerState state;
    state.SystemState = PowerSystemSleeping1;
    Irp* request = nullptr;
    ASSERT_EQ(PoRequestPowerIrp(
                  pdo, IRP_MN_WAIT_WAKE, state,
                  [](DeviceObject*, std::uint8_t, PowerState, void* context, IoStatusBlock* io) {
                      auto* w = static_cast<Wake*>(context);
                      std::lock_guard lock(w->m);
                      w->done = true;
                      w->status = io->Status;
                      w->cv.notify_all();
                  },
                  &wake, &request),
              STATUS_PENDING);
    {
        std::lock_guard lock(wake.m);
        EXPECT_FALSE(wake.done);
    }
    IoCancelIrp(request);
    std::unique_lock lock(wake.m);
    wake.cv.wait(lock, [&] { return wake.done; });
    EXPECT_EQ(wake.status, STATUS_CANCELLED);
}

}  // namespace
}  // namespace ut
