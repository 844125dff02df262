// The emulated bus, driven with URBs straight at its device object.
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <thread>

#include "kernel/host.h"
#include "kernel/pool.h"
#include "test_function.h"
#include "usb/emulated_bus.h"

namespace ut {
namespace {

using namespace kernel;
using namespace usb;

struct Done {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    Irql level = PASSIVE_LEVEL;
    std::thread::id thread;
};

struct Async {
    Irp* irp = nullptr;
    std::shared_ptr<Done> done;
};

class Bus : public ::testing::Test {
protected:
    void SetUp() override { plugIn(); }

    void plugIn(PortOptions options = {}) {
        port = bus.plug(fn, options);
        pdo = bus.pdo(port);
    }

    Async post(std::uint32_t code, void* argument) {
        Async a{IoAllocateIrp(pdo->StackSize, false), std::make_shared<Done>()};
        a.irp->origin = Irp::Origin::Host;
        a.irp->onFinished = [d = a.done](Irp*) {
            std::lock_guard lock(d->mutex);
            d->done = true;
            d->level = KeGetCurrentIrql();
            d->thread = std::this_thread::get_id();
            d->cv.notify_all();
        };
        IoStackLocation* s = IoGetNextIrpStackLocation(a.irp);
        s->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
        s->Parameters.DeviceIoControl.IoControlCode = code;
        s->Parameters.Others.Argument1 = argument;
        EXPECT_EQ(IoCallDriver(pdo, a.irp), STATUS_PENDING);
        return a;
    }
    Async post(Urb* urb) { return post(IOCTL_INTERNAL_USB_SUBMIT_URB, urb); }

    static bool finished(const Async& a) {
        std::lock_guard lock(a.done->mutex);
        return a.done->done;
    }
    static Status wait(Async& a) {
        std::unique_lock lock(a.done->mutex);
        a.done->cv.wait(lock, [&] { return a.done->done; });
        Status s = a.irp->IoStatus.Status;
        lock.unlock();
        IoFreeIrp(a.irp);
        a.irp = nullptr;
        return s;
    }
    Status submit(Urb* urb) {
        Async a = post(urb);
        return wait(a);
    }
    // Waits until the controller has taken every request posted so far.
    void settle() { bus.runOnController([] {}); }

    void configure(std::uint32_t maximumTransfer = 4096) {
        std::vector<std::uint8_t> config(600);
        Urb urb;
        UsbBuildGetDescriptorRequest(&urb, sizeof(UrbControlDescriptorRequest), USB_CONFIGURATION_DESCRIPTOR_TYPE,
                                     0, 0, config.data(), nullptr, static_cast<std::uint32_t>(config.size()), nullptr);
        ASSERT_EQ(submit(&urb), STATUS_SUCCESS);
        auto* cd = reinterpret_cast<ConfigurationDescriptor*>(config.data());
        InterfaceListEntry list[2] = {{USBD_ParseConfigurationDescriptorEx(cd, cd, 0, -1, -1, -1, -1), nullptr},
                                      {nullptr, nullptr}};
        ASSERT_NE(list[0].InterfaceDescriptor, nullptr);
        Urb* select = USBD_CreateConfigurationRequestEx(cd, list);
        for (std::uint32_t i = 0; i < list[0].Interface->NumberOfPipes; ++i)
            pipeAt(list[0].Interface, i)->MaximumTransferSize = maximumTransfer;
        ASSERT_EQ(submit(select), STATUS_SUCCESS);
        info = *pipeAt(list[0].Interface, 0);
        outPipe = pipeAt(list[0].Interface, 0)->PipeHandle;
        inPipe = pipeAt(list[0].Interface, 1)->PipeHandle;
        inInfo = *pipeAt(list[0].Interface, 1);
        ExFreePool(select);
    }

    void bulk(Urb* urb, PipeHandle pipe, std::vector<std::uint8_t>& buffer, std::uint32_t flags) {
        UsbBuildInterruptOrBulkTransferRequest(urb, sizeof(UrbBulkOrInterruptTransfer), pipe, buffer.data(), nullptr,
                                               static_cast<std::uint32_t>(buffer.size()), flags, nullptr);
    }

    Status pipeRequest(std::uint16_t function, PipeHandle pipe) {
        Urb urb{};
        urb.UrbPipeRequest.Hdr.Length = sizeof(UrbPipeRequest);
        urb.UrbPipeRequest.Hdr.Function = function;
        urb.UrbPipeRequest.PipeHandle = pipe;
        return submit(&urb);
    }

    TestFunction fn{64};
    EmulatedBus bus;
    EmulatedBus::PortId port = 0;
    DeviceObject* pdo = nullptr;
    PipeHandle outPipe = nullptr, inPipe = nullptr;
    PipeInformation info{}, inInfo{};
};

TEST_F(Bus, DescriptorsAreReadUpToTheBufferAndConfigurationSelectsPipes) {
    fn.configurationLength(600);
    std::vector<std::uint8_t> small(521);
    Urb urb;
    UsbBuildGetDescriptorRequest(&urb, sizeof(UrbControlDescriptorRequest), USB_CONFIGURATION_DESCRIPTOR_TYPE, 0, 0,
                                 small.data(), nullptr, 521, nullptr);
    ASSERT_EQ(submit(&urb), STATUS_SUCCESS);
    EXPECT_EQ(urb.UrbControlDescriptorRequest.TransferBufferLength, 521u);
    EXPECT_EQ(reinterpret_cast<ConfigurationDescriptor*>(small.data())->wTotalLength, 600);

    configure(65536);
    EXPECT_EQ(fn.configuration(), 1);
    EXPECT_EQ(info.EndpointAddress, 0x01);
    EXPECT_EQ(info.PipeType, UsbdPipeTypeBulk);
    EXPECT_EQ(info.MaximumPacketSize, 64);
    EXPECT_EQ(info.MaximumTransferSize, 65536u) << "the requested size is echoed";
    EXPECT_EQ(inInfo.EndpointAddress, 0x81);

    Urb none;
    UsbBuildSelectConfigurationRequest(&none, sizeof(UrbSelectConfiguration), nullptr);
    EXPECT_EQ(submit(&none), STATUS_SUCCESS);
    EXPECT_EQ(fn.configuration(), 0);
    std::vector<std::uint8_t> data(8);
    Urb stale;
    bulk(&stale, inPipe, data, USBD_TRANSFER_DIRECTION_IN);
    EXPECT_EQ(submit(&stale), STATUS_INVALID_PARAMETER) << "pipes of an old configuration are gone";
}

TEST_F(Bus, InTransfersEndOnAFullBufferAShortPacketOrAZeroLengthPacket) {
    configure();
    struct Case {
        std::vector<std::vector<std::uint8_t>> packets;
        std::uint32_t room;
        Status status;
        std::uint32_t got;
    } cases[] = {
        {{std::vector<std::uint8_t>(64, 1), std::vector<std::uint8_t>(64, 2)}, 128, STATUS_SUCCESS, 128},
        {{std::vector<std::uint8_t>(64, 1), std::vector<std::uint8_t>(10, 2)}, 512, STATUS_SUCCESS, 74},
        {{std::vector<std::uint8_t>(64, 1), {}}, 512, STATUS_SUCCESS, 64},
        {{std::vector<std::uint8_t>(64, 1)}, 32, STATUS_DATA_OVERRUN, 0},
    };
    for (auto& c : cases) {
        for (auto& p : c.packets) fn.queueIn(p);
        std::vector<std::uint8_t> buffer(c.room);
        Urb urb;
        bulk(&urb, inPipe, buffer, USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK);
        EXPECT_EQ(submit(&urb), c.status) << c.room;
        EXPECT_EQ(urb.UrbBulkOrInterruptTransfer.TransferBufferLength, c.got) << c.room;
    }
    EXPECT_EQ(pipeRequest(URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL, inPipe), STATUS_SUCCESS)
        << "an overrun halts the endpoint until its pipe is reset";
}

TEST_F(Bus, AStallFailsTransfersUntilThePipeIsReset) {
    configure();
    fn.stallIn(true);
    std::vector<std::uint8_t> buffer(64);
    Urb urb;
    bulk(&urb, inPipe, buffer, USBD_TRANSFER_DIRECTION_IN);
    EXPECT_EQ(submit(&urb), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(urb.UrbHeader.Status, USBD_STATUS_STALL_PID);
    fn.queueIn({7});
    bulk(&urb, inPipe, buffer, USBD_TRANSFER_DIRECTION_IN);
    EXPECT_EQ(submit(&urb), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(urb.UrbHeader.Status, USBD_STATUS_ENDPOINT_HALTED);
    EXPECT_EQ(pipeRequest(URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL, inPipe), STATUS_SUCCESS);
    EXPECT_EQ(fn.clearedHalts(), (std::vector<std::uint8_t>{0x81}));
    bulk(&urb, inPipe, buffer, USBD_TRANSFER_DIRECTION_IN);
    EXPECT_EQ(submit(&urb), STATUS_SUCCESS);
    EXPECT_EQ(urb.UrbBulkOrInterruptTransfer.TransferBufferLength, 1u);
}

TEST_F(Bus, OutTransfersGoAsPacketsWithNoTrailingZeroLengthPacket) {
    configure();
    struct Case {
        std::uint32_t length;
        std::vector<std::size_t> packets;
    } cases[] = {{0, {0}}, {100, {64, 36}}, {128, {64, 64}}};
    for (auto& c : cases) {
        std::size_t before = fn.outPackets().size();
        std::vector<std::uint8_t> buffer(c.length, 0x5A);
        Urb urb;
        bulk(&urb, outPipe, buffer, USBD_SHORT_TRANSFER_OK);
        if (c.length == 0) urb.UrbBulkOrInterruptTransfer.TransferBuffer = nullptr;
        EXPECT_EQ(submit(&urb), STATUS_SUCCESS);
        EXPECT_EQ(urb.UrbBulkOrInterruptTransfer.TransferBufferLength, c.length);
        auto packets = fn.outPackets();
        std::vector<std::size_t> sizes;
        for (std::size_t i = before; i < packets.size(); ++i) sizes.push_back(packets[i].size());
        EXPECT_EQ(sizes, c.packets) << c.length;
    }
}

TEST_F(Bus, APendingReadCompletesFromTheControllerThreadAtDispatchLevel) {
    configure();
    std::vector<std::uint8_t> buffer(64);
    Urb urb;
    bulk(&urb, inPipe, buffer, USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK);
    Async a = post(&urb);
    settle();
    EXPECT_FALSE(finished(a)) << "no data: the request waits";
    fn.queueIn({1, 2, 3});
    auto done = a.done;
    EXPECT_EQ(wait(a), STATUS_SUCCESS);
    EXPECT_EQ(done->level, DISPATCH_LEVEL);
    EXPECT_NE(done->thread, std::this_thread::get_id());
    EXPECT_EQ(buffer[2], 3);
}

TEST_F(Bus, CancelAndAbortEndPendingReads) {
    configure();
    std::vector<std::uint8_t> a(64), b(64);
    Urb ua, ub;
    bulk(&ua, inPipe, a, USBD_TRANSFER_DIRECTION_IN);
    bulk(&ub, inPipe, b, USBD_TRANSFER_DIRECTION_IN);
    Async first = post(&ua);
    Async second = post(&ub);
    settle();
    EXPECT_TRUE(IoCancelIrp(first.irp));
    EXPECT_EQ(wait(first), STATUS_CANCELLED);
    EXPECT_EQ(ua.UrbHeader.Status, USBD_STATUS_CANCELED);
    EXPECT_EQ(pipeRequest(URB_FUNCTION_ABORT_PIPE, inPipe), STATUS_SUCCESS);
    EXPECT_EQ(wait(second), STATUS_CANCELLED);

    Urb uc;
    bulk(&uc, inPipe, a, USBD_TRANSFER_DIRECTION_IN);
    Irp* irp = IoAllocateIrp(pdo->StackSize, false);
    irp->Cancel = true;  // cancelled before it reaches the bus
    auto done = std::make_shared<Done>();
    irp->origin = Irp::Origin::Host;
    irp->onFinished = [done](Irp*) {
        std::lock_guard lock(done->mutex);
        done->done = true;
        done->cv.notify_all();
    };
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_INTERNAL_DEVICE_CONTROL;
    s->Parameters.DeviceIoControl.IoControlCode = IOCTL_INTERNAL_USB_SUBMIT_URB;
    s->Parameters.Others.Argument1 = &uc;
    IoCallDriver(pdo, irp);
    Async late{irp, done};
    EXPECT_EQ(wait(late), STATUS_CANCELLED);
}

TEST_F(Bus, TheLogHeldCompletionsAndInjectedFailuresServeTests) {
    configure();
    bus.clearUrbLog();
    bus.injectFailure(0x01, STATUS_IO_TIMEOUT, USBD_STATUS_STALL_PID);
    std::vector<std::uint8_t> buffer(100, 1);
    Urb urb;
    bulk(&urb, outPipe, buffer, USBD_SHORT_TRANSFER_OK);
    EXPECT_EQ(submit(&urb), STATUS_IO_TIMEOUT);
    EXPECT_EQ(urb.UrbBulkOrInterruptTransfer.TransferBufferLength, 0u);
    bus.holdCompletions();
    bulk(&urb, outPipe, buffer, USBD_SHORT_TRANSFER_OK);
    Async held = post(&urb);
    settle();
    EXPECT_EQ(bus.heldCompletions(), 1u);
    EXPECT_FALSE(finished(held));
    bus.releaseCompletions();
    EXPECT_EQ(wait(held), STATUS_SUCCESS);
    auto log = bus.urbLog();
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].function, URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER);
    EXPECT_EQ(log[0].endpoint, 0x01);
    EXPECT_EQ(log[0].length, 100u);
    EXPECT_EQ(log[0].flags, USBD_SHORT_TRANSFER_OK);
}

TEST_F(Bus, PortRequestsFrameNumbersAndVendorRequests) {
    configure();
    std::uint32_t status = 0;
    Async a = post(IOCTL_INTERNAL_USB_GET_PORT_STATUS, &status);
    EXPECT_EQ(wait(a), STATUS_SUCCESS);
    EXPECT_EQ(status, USBD_PORT_CONNECTED | USBD_PORT_ENABLED);
    Async r = post(IOCTL_INTERNAL_USB_RESET_PORT, nullptr);
    EXPECT_EQ(wait(r), STATUS_SUCCESS);
    EXPECT_EQ(fn.resets(), 1);
    EXPECT_EQ(fn.configuration(), 1) << "a port reset keeps the configuration";

    Urb frame{};
    frame.UrbGetCurrentFrameNumber.Hdr.Length = sizeof(UrbFrameNumber);
    frame.UrbGetCurrentFrameNumber.Hdr.Function = URB_FUNCTION_GET_CURRENT_FRAME_NUMBER;
    EXPECT_EQ(submit(&frame), STATUS_SUCCESS);
    EXPECT_LE(frame.UrbGetCurrentFrameNumber.FrameNumber, bus.frameNumber());

    std::vector<std::uint8_t> data(4);
    Urb vendor;
    UsbBuildVendorRequest(&vendor, URB_FUNCTION_VENDOR_DEVICE, sizeof(UrbControlVendorOrClassRequest),
                          USBD_TRANSFER_DIRECTION_IN | USBD_SHORT_TRANSFER_OK, 0, 1, 0, 0, data.data(), nullptr, 4,
                          nullptr);
    EXPECT_EQ(submit(&vendor), STATUS_SUCCESS);
    EXPECT_EQ(vendor.UrbControlVendorClassRequest.TransferBufferLength, 4u);
    EXPECT_EQ(data, (std::vector<std::uint8_t>{1, 2, 3, 4}));
    UsbBuildVendorRequest(&vendor, URB_FUNCTION_VENDOR_DEVICE, sizeof(UrbControlVendorOrClassRequest),
                          USBD_TRANSFER_DIRECTION_IN, 0, 1, 0, 0, nullptr, nullptr, 4, nullptr);
    EXPECT_EQ(submit(&vendor), STATUS_INVALID_PARAMETER) << "an answer with nowhere to go";
    UsbBuildVendorRequest(&vendor, URB_FUNCTION_CLASS_DEVICE, sizeof(UrbControlVendorOrClassRequest), 0, 0, 1, 0, 0,
                          nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(submit(&vendor), STATUS_UNSUCCESSFUL) << "the function stalls class requests";
}

TEST_F(Bus, PullingFailsOutstandingAndLaterRequests) {
    configure();
    std::vector<std::uint8_t> buffer(64);
    Urb urb;
    bulk(&urb, inPipe, buffer, USBD_TRANSFER_DIRECTION_IN);
    Async a = post(&urb);
    settle();
    bus.pull(port);
    EXPECT_EQ(wait(a), STATUS_DEVICE_NOT_CONNECTED);
    EXPECT_EQ(urb.UrbHeader.Status, USBD_STATUS_DEVICE_GONE);
    EXPECT_EQ(bus.pdo(port), nullptr) << "without a stack above it, the device object went at once";
    plugIn();
    EXPECT_NE(pdo, nullptr);
}

struct WakeResult {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    Status status = STATUS_PENDING;
};

void wakeDone(DeviceObject*, std::uint8_t, PowerState, void* context, IoStatusBlock* io) {
    auto* r = static_cast<WakeResult*>(context);
    std::lock_guard lock(r->mutex);
    r->done = true;
    r->status = io->Status;
    r->cv.notify_all();
}

Status waitFor(WakeResult& r) {
    std::unique_lock lock(r.mutex);
    r.cv.wait(lock, [&] { return r.done; });
    return r.status;
}

TEST_F(Bus, CapabilitiesPowerAndWaitWakeWithARemoteWake) {
    DeviceCapabilities caps;
    EXPECT_EQ(pnp::sendPnp(pdo, IRP_MN_QUERY_CAPABILITIES, &caps), STATUS_SUCCESS);
    EXPECT_EQ(caps.DeviceState[PowerSystemSleeping3], PowerDeviceD2);
    EXPECT_EQ(caps.SystemWake, PowerSystemSleeping3);
    EXPECT_EQ(caps.Address, static_cast<std::uint32_t>(port));
    caps.Version = 0;
    EXPECT_EQ(pnp::sendPnp(pdo, IRP_MN_QUERY_CAPABILITIES, &caps), STATUS_UNSUCCESSFUL);

    WakeResult set;
    PowerState d2;
    d2.DeviceState = PowerDeviceD2;
    PoRequestPowerIrp(pdo, IRP_MN_SET_POWER, d2, wakeDone, &set, nullptr);
    EXPECT_EQ(waitFor(set), STATUS_SUCCESS);
    EXPECT_EQ(bus.devicePower(port), PowerDeviceD2);

    WakeResult wake, second, cancelled;
    PowerState s3;
    s3.SystemState = PowerSystemSleeping3;
    PoRequestPowerIrp(pdo, IRP_MN_WAIT_WAKE, s3, wakeDone, &wake, nullptr);
    EXPECT_TRUE(bus.waitWakePending(port));
    PoRequestPowerIrp(pdo, IRP_MN_WAIT_WAKE, s3, wakeDone, &second, nullptr);
    EXPECT_EQ(waitFor(second), STATUS_DEVICE_BUSY);
    EXPECT_TRUE(bus.remoteWake(port));
    EXPECT_EQ(waitFor(wake), STATUS_SUCCESS);
    EXPECT_FALSE(bus.remoteWake(port)) << "nothing is armed any more";

    Irp* armed = nullptr;
    PoRequestPowerIrp(pdo, IRP_MN_WAIT_WAKE, s3, wakeDone, &cancelled, &armed);
    EXPECT_TRUE(IoCancelIrp(armed));
    EXPECT_EQ(waitFor(cancelled), STATUS_CANCELLED);
}

TEST_F(Bus, AWaitWakeCancelledOnItsWayEndsAtOnce) {
    WakeResult result;
    Irp* irp = IoAllocateIrp(pdo->StackSize, false);
    irp->origin = Irp::Origin::Host;
    irp->onFinished = [&result](Irp* done) {
        wakeDone(nullptr, IRP_MN_WAIT_WAKE, PowerState{}, &result, &done->IoStatus);
        IoFreeIrp(done);
    };
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_POWER;
    s->MinorFunction = IRP_MN_WAIT_WAKE;
    s->Parameters.WaitWake.PowerState = PowerSystemSleeping3;
    irp->Cancel = true;  // its owner cancelled it before it arrived
    IoCallDriver(pdo, irp);
    EXPECT_EQ(waitFor(result), STATUS_CANCELLED);
    EXPECT_FALSE(bus.waitWakePending(port));
}

TEST_F(Bus, RefusedDevicePowerRequestsFailAndLeaveThePowerAlone) {
    PowerState d2;
    d2.DeviceState = PowerDeviceD2;
    for (std::uint8_t minor : {IRP_MN_QUERY_POWER, IRP_MN_SET_POWER}) {
        bus.refuseDevicePower(port, minor, STATUS_DEVICE_NOT_READY);
        WakeResult refused, accepted;
        PoRequestPowerIrp(pdo, minor, d2, wakeDone, &refused, nullptr);
        EXPECT_EQ(waitFor(refused), STATUS_DEVICE_NOT_READY) << int(minor);
        EXPECT_EQ(bus.devicePower(port), PowerDeviceD0) << int(minor);
        bus.refuseDevicePower(port, minor, STATUS_SUCCESS);
        PoRequestPowerIrp(pdo, minor, d2, wakeDone, &accepted, nullptr);
        EXPECT_EQ(waitFor(accepted), STATUS_SUCCESS) << int(minor);
    }
    EXPECT_EQ(bus.devicePower(port), PowerDeviceD2);
}

}  // namespace
}  // namespace ut
