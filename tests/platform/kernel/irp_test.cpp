// Completion of requests through a stack: routines per stack location, pending,
// more-processing-required, re-sending the same request, cancel.
#include <memory>

#include "fixtures.h"

namespace kt {
namespace {

struct Layer {
    DeviceObject* lower = nullptr;
    int id = 0;
    int resends = 0;      // times the routine sends the request down again
    bool hold = false;    // the routine keeps the request
    bool onSuccessOnly = false;
};

struct World {
    std::vector<std::string> log;
    std::vector<Irp*> pending;  // requests the bottom layer holds
    Irp* held = nullptr;
    bool cancelRoutineAtDispatch = false;
};
World* world = nullptr;

Layer* layerOf(DeviceObject* d) { return static_cast<Layer*>(d->DeviceExtension); }

Status routine(DeviceObject* device, Irp* irp, void* context) {
    auto* self = static_cast<Layer*>(context);
    world->log.push_back("routine " + std::to_string(self->id) + " on " +
                         std::to_string(device ? layerOf(device)->id : -1) +
                         (irp->PendingReturned ? " pending" : ""));
    if (self->resends > 0) {
        --self->resends;
        IoStackLocation* next = IoGetNextIrpStackLocation(irp);
        next->MajorFunction = IRP_MJ_READ;
        IoSetCompletionRoutine(irp, routine, self, true, true, true);
        IoCallDriver(self->lower, irp);
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    if (self->hold) {
        world->held = irp;
        return STATUS_MORE_PROCESSING_REQUIRED;
    }
    if (irp->PendingReturned) IoMarkIrpPending(irp);
    return STATUS_SUCCESS;
}

void cancelPending(DeviceObject*, Irp* irp) {
    world->cancelRoutineAtDispatch = KeGetCurrentIrql() == DISPATCH_LEVEL;
    std::erase(world->pending, irp);
    irp->IoStatus.Status = STATUS_CANCELLED;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

Status dispatch(DeviceObject* device, Irp* irp) {
    Layer* self = layerOf(device);
    world->log.push_back("dispatch " + std::to_string(self->id));
    if (self->lower) {
        IoCopyCurrentIrpStackLocationToNext(irp);
        IoSetCompletionRoutine(irp, routine, self, true, !self->onSuccessOnly, !self->onSuccessOnly);
        return IoCallDriver(self->lower, irp);
    }
    IoMarkIrpPending(irp);
    IoSetCancelRoutine(irp, cancelPending);
    world->pending.push_back(irp);
    return STATUS_PENDING;
}

Status entry(DriverObject* d, const UnicodeString*) {
    d->MajorFunction[IRP_MJ_READ] = dispatch;
    return STATUS_SUCCESS;
}

class Requests : public ::testing::Test {
protected:
    void SetUp() override {
        world = &w;
        driver = loadDriver("layers", entry);
        for (int i = 0; i < 3; ++i) {
            DeviceObject* d = nullptr;
            IoCreateDevice(driver, sizeof(Layer), nullptr, FILE_DEVICE_UNKNOWN, 0, false, &d);
            auto* layer = new (d->DeviceExtension) Layer;
            layer->id = i;
            if (i > 0) layer->lower = IoAttachDeviceToDeviceStack(d, devices[i - 1]);
            devices.push_back(d);
        }
    }
    void TearDown() override {
        for (int i = 2; i >= 0; --i) {
            if (i > 0) IoDetachDevice(devices[i - 1]);
            IoDeleteDevice(devices[i]);
        }
        unloadDriver(driver);
        world = nullptr;
    }
    // A read sent to the top; `finished` counts its final completion.
    Irp* send() {
        Irp* irp = IoAllocateIrp(devices[2]->StackSize, false);
        irp->origin = Irp::Origin::Host;
        irp->onFinished = [this](Irp*) { ++finished; };
        IoGetNextIrpStackLocation(irp)->MajorFunction = IRP_MJ_READ;
        EXPECT_EQ(IoCallDriver(devices[2], irp), STATUS_PENDING);
        return irp;
    }
    void completeBottom(Status status) {
        ASSERT_FALSE(w.pending.empty());
        Irp* irp = w.pending.front();
        w.pending.erase(w.pending.begin());
        ASSERT_EQ(IoSetCancelRoutine(irp, nullptr), cancelPending);
        irp->IoStatus.Status = status;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
    }
    Layer& layer(int i) { return *layerOf(devices[i]); }

    World w;
    DriverObject* driver = nullptr;
    std::vector<DeviceObject*> devices;
    int finished = 0;
};

TEST_F(Requests, RoutinesRunBottomUpWithTheirOwnDevicesAndSeePending) {
    Irp* irp = send();
    EXPECT_EQ(irp->StackCount, 3);
    completeBottom(STATUS_SUCCESS);
    EXPECT_EQ(w.log, (std::vector<std::string>{"dispatch 2", "dispatch 1", "dispatch 0",
                                               "routine 1 on 1 pending", "routine 2 on 2 pending"}));
    EXPECT_EQ(finished, 1);
    IoFreeIrp(irp);
}

TEST_F(Requests, MoreProcessingRequiredStopsUntilTheOwnerCompletesAgain) {
    layer(1).hold = true;
    Irp* irp = send();
    completeBottom(STATUS_SUCCESS);
    EXPECT_EQ(w.held, irp);
    EXPECT_EQ(finished, 0);
    IoCompleteRequest(w.held, IO_NO_INCREMENT);  // later, e.g. from a work item
    EXPECT_EQ(w.log.back(), "routine 2 on 2") << "the holder did not mark it pending";
    EXPECT_EQ(finished, 1);
    IoFreeIrp(irp);
}

TEST_F(Requests, TheSameRequestIsSentAgainFromItsCompletionRoutine) {
    layer(1).resends = 3;
    Irp* irp = send();
    for (int round = 0; round < 4; ++round) completeBottom(STATUS_SUCCESS);
    EXPECT_TRUE(w.pending.empty());
    EXPECT_EQ(std::count(w.log.begin(), w.log.end(), "dispatch 0"), 4);
    EXPECT_EQ(std::count(w.log.begin(), w.log.end(), "routine 2 on 2 pending"), 1);
    EXPECT_EQ(finished, 1);
    IoFreeIrp(irp);
}

TEST_F(Requests, RoutinesRunOnlyForTheOutcomesTheyAskedFor) {
    layer(2).onSuccessOnly = true;
    Irp* irp = send();
    completeBottom(STATUS_UNSUCCESSFUL);
    EXPECT_EQ(w.log.back(), "routine 1 on 1 pending") << "the top routine wanted success only";
    EXPECT_EQ(finished, 1);
    EXPECT_EQ(irp->IoStatus.Status, STATUS_UNSUCCESSFUL);
    IoFreeIrp(irp);
}

TEST_F(Requests, CancelCallsTheOwnersRoutineAtDispatchLevel) {
    Irp* irp = send();
    EXPECT_TRUE(IoCancelIrp(irp));
    EXPECT_TRUE(w.cancelRoutineAtDispatch);
    EXPECT_EQ(irp->IoStatus.Status, STATUS_CANCELLED);
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(IoCancelIrp(irp)) << "no cancel routine is left";
    IoFreeIrp(irp);
}

TEST_F(Requests, BrokenCompletionsAreAsserted) {
    ThrowingAssertions asserting;
    Irp* irp = send();
    Irp* bottom = w.pending.front();
    EXPECT_THROW(IoCompleteRequest(bottom, IO_NO_INCREMENT), HostAssertion) << "cancel routine still set";
    IoSetCancelRoutine(bottom, nullptr);
    bottom->IoStatus.Status = STATUS_PENDING;
    EXPECT_THROW(IoCompleteRequest(bottom, IO_NO_INCREMENT), HostAssertion);
    bottom->IoStatus.Status = STATUS_SUCCESS;
    w.pending.clear();
    IoCompleteRequest(bottom, IO_NO_INCREMENT);
    EXPECT_THROW(IoCompleteRequest(irp, IO_NO_INCREMENT), HostAssertion) << "completed twice";
    IoFreeIrp(irp);
}

TEST_F(Requests, UnhandledMajorFunctionsAreInvalidDeviceRequests) {
    Event done;
    KeInitializeEvent(&done, NotificationEvent, false);
    IoStatusBlock io;
    Irp* irp = IoBuildDeviceIoControlRequest(0x222000, devices[2], nullptr, 0, nullptr, 0, false, &done, &io);
    EXPECT_EQ(IoCallDriver(devices[2], irp), STATUS_INVALID_DEVICE_REQUEST);
    KeWaitForSingleObject(&done, Executive, KernelMode, false, nullptr);
    EXPECT_EQ(io.Status, STATUS_INVALID_DEVICE_REQUEST);
}

}  // namespace
}  // namespace kt
