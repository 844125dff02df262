// The plug-and-play manager sends its requests in the platform's order and keeps its
// rules about open handles; the power manager's sequences.
#include "fixtures.h"

namespace kt {
namespace {

using Events = std::vector<std::string>;

TEST_F(Stack, ArrivalAddsStartsThenAsksCapabilities) {
    EXPECT_EQ(arrive(), STATUS_SUCCESS);
    EXPECT_EQ(rec.take(), (Events{"add-device", "start", "capabilities"}));
    EXPECT_EQ(pnp::state(pdo), pnp::NodeState::Started);
    EXPECT_EQ(path(), "\\\\?\\test#vid_0001&pid_0002#1#{11111111-2222-3333-0405-060708090a0b}");
}

// The driver enables its interface in AddDevice; a caller that finds it must find a
// device that can serve, so it shows only once the start has completed.
TEST_F(Stack, AnInterfaceShowsOnlyOnceItsDeviceHasStarted) {
    rec.probeAtStart = true;
    rec.listedAtStart = 99;
    EXPECT_EQ(arrive(), STATUS_SUCCESS);
    EXPECT_EQ(rec.listedAtStart, 0u);
    EXPECT_EQ(rec.openAtStart, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(path(), interfacePath(pdo));
    FileObject* file = nullptr;
    EXPECT_EQ(fileOpen(path(), &file), STATUS_SUCCESS);
    fileClose(file);
}

TEST_F(Stack, FailedStartTearsTheStackDown) {
    rec.startStatus = STATUS_UNSUCCESSFUL;
    EXPECT_EQ(arrive(), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(rec.take(), (Events{"add-device", "start", "remove"}));
    EXPECT_EQ(pnp::state(pdo), pnp::NodeState::Removed);
    EXPECT_TRUE(path().empty());
}

TEST_F(Stack, OrderlyRemovalIsVetoedWhileAHandleIsOpen) {
    arrive();
    rec.take();
    FileObject* file = nullptr;
    ASSERT_EQ(fileOpen(path() + "\\PIPE00", &file), STATUS_SUCCESS);
    EXPECT_EQ(rec.take(), (Events{"create \\PIPE00"}));
    EXPECT_EQ(pnp::requestRemoval(pdo), STATUS_ACCESS_DENIED);
    EXPECT_TRUE(rec.take().empty()) << "no query-remove may be sent while a handle is open";
    fileClose(file);
    EXPECT_EQ(pnp::requestRemoval(pdo), STATUS_SUCCESS);
    EXPECT_EQ(rec.take(), (Events{"close", "query-remove", "remove"}));
}

TEST_F(Stack, VetoedQueryRemoveIsCancelled) {
    arrive();
    rec.take();
    rec.vetoQueryRemove = STATUS_UNSUCCESSFUL;
    EXPECT_EQ(pnp::requestRemoval(pdo), STATUS_UNSUCCESSFUL);
    EXPECT_EQ(rec.take(), (Events{"query-remove", "cancel-remove"}));
    EXPECT_EQ(pnp::state(pdo), pnp::NodeState::Started);
}

TEST_F(Stack, RebalanceStopsAndStartsAgainEvenWithAHandleOpen) {
    arrive();
    rec.take();
    FileObject* file = nullptr;
    ASSERT_EQ(fileOpen(path(), &file), STATUS_SUCCESS);
    EXPECT_TRUE(pnp::rebalance(pdo));
    EXPECT_EQ(rec.take(), (Events{"create ", "query-stop", "stop", "start", "capabilities"}));
    rec.vetoQueryStop = STATUS_UNSUCCESSFUL;
    EXPECT_FALSE(pnp::rebalance(pdo));
    EXPECT_EQ(rec.take(), (Events{"query-stop", "cancel-stop"}));
    fileClose(file);
}

TEST_F(Stack, SurpriseRemovalSendsRemoveOnlyAfterTheLastClose) {
    arrive();
    FileObject* a = nullptr;
    FileObject* b = nullptr;
    ASSERT_EQ(fileOpen(path() + "\\PIPE00", &a), STATUS_SUCCESS);
    ASSERT_EQ(fileOpen(path() + "\\PIPE01", &b), STATUS_SUCCESS);
    rec.take();
    EXPECT_TRUE(pnp::surpriseRemoval(pdo));
    EXPECT_EQ(rec.take(), (Events{"surprise-removal"}));
    EXPECT_TRUE(path().empty()) << "a removed device's interface is gone";
    fileClose(a);
    EXPECT_EQ(rec.take(), (Events{"close"}));
    fileClose(b);
    EXPECT_EQ(rec.take(), (Events{"close", "remove"}));
    EXPECT_EQ(pnp::state(pdo), pnp::NodeState::Removed);
}

TEST_F(Stack, CreatesAreRefusedWhileTheDeviceInitialises) {
    rec.clearInitializing = false;
    arrive();
    FileObject* file = nullptr;
    EXPECT_EQ(fileOpen(path(), &file), STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(fileOpen("\\\\?\\nothing#here", &file), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(pnp::openHandles(pdo), 0);
}

TEST_F(Stack, InterfacesAreListedInArrivalOrder) {
    arrive("7");
    std::string first = path();
    DeviceObject* firstPdo = pdo;
    pdo = nullptr;
    arrive("3");
    auto all = enabledInterfaces(testInterface);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0], first);
    EXPECT_NE(all[1].find("#3#"), std::string::npos);
    pnp::surpriseRemoval(firstPdo);
    IoDeleteDevice(firstPdo);
    EXPECT_EQ(enabledInterfaces(testInterface).size(), 1u);
}

TEST_F(Stack, VetoedSystemSleepIsFollowedByWorking) {
    arrive();
    rec.take();
    rec.vetoQueryPower = STATUS_UNSUCCESSFUL;
    EXPECT_FALSE(power::setSystemState(PowerSystemSleeping3));
    EXPECT_EQ(rec.take(), (Events{"query-power S3", "set-power S0"}));
    rec.vetoQueryPower = STATUS_SUCCESS;
    EXPECT_TRUE(power::setSystemState(PowerSystemSleeping3));
    EXPECT_EQ(rec.take(), (Events{"query-power S3", "set-power S3"}));
}

struct PowerResult {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    Status status = STATUS_PENDING;
    DevicePower state = PowerDeviceUnspecified;
};

TEST_F(Stack, DriverRequestedPowerGoesToTheTopOfItsStack) {
    arrive();
    rec.take();
    PowerResult result;
    PowerState d2;
    d2.DeviceState = PowerDeviceD2;
    auto done = [](DeviceObject*, std::uint8_t, PowerState state, void* context, IoStatusBlock* io) {
        auto* r = static_cast<PowerResult*>(context);
        std::lock_guard lock(r->mutex);
        r->done = true;
        r->status = io->Status;
        r->state = state.DeviceState;
        r->cv.notify_all();
    };
    {
        IrqlScope dispatch(DISPATCH_LEVEL);  // as from a completion routine
        EXPECT_EQ(PoRequestPowerIrp(pdo, IRP_MN_SET_POWER, d2, done, &result, nullptr), STATUS_PENDING);
    }
    std::unique_lock lock(result.mutex);
    result.cv.wait(lock, [&] { return result.done; });
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.state, PowerDeviceD2);
    EXPECT_EQ(rec.take(), (Events{"set-power D2"})) << "the request passed through the driver's own stack";
}

TEST_F(Stack, PowerRequestsForAnUnspecifiedStateAreNotMade) {
    arrive();
    rec.take();
    auto never = [](DeviceObject*, std::uint8_t, PowerState, void*, IoStatusBlock*) { ADD_FAILURE() << "no request"; };
    PowerState none;
    none.DeviceState = PowerDeviceUnspecified;
    EXPECT_EQ(PoRequestPowerIrp(pdo, IRP_MN_SET_POWER, none, never, nullptr, nullptr), STATUS_INVALID_PARAMETER);
    none.SystemState = PowerSystemUnspecified;
    EXPECT_EQ(PoRequestPowerIrp(pdo, IRP_MN_WAIT_WAKE, none, never, nullptr, nullptr), STATUS_INVALID_PARAMETER);
    power::drain();
    EXPECT_TRUE(rec.take().empty());
}

}  // namespace
}  // namespace kt
