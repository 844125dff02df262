// Power: system and device power changes with I/O in flight, the sleep and wake control
// codes, and wait-wake armed, disarmed and raced against the bus's completion.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "fixture.h"
#include "test_function.h"

namespace drv {
namespace {

using ut::TestFunction;

Status control(devices::Handle& h, std::uint32_t code) {
    std::size_t returned = 0;
    return devices::deviceControl(h, code, nullptr, 0, nullptr, 0, &returned) ? STATUS_SUCCESS : devices::lastStatus();
}

// A read on a thread of its own, sent down before the constructor returns.
class PendingRead {
public:
    PendingRead(EmulatedBus& bus, devices::Handle& in) {
        std::size_t before = 0;
        for (auto& e : bus.urbLog()) before += e.function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
        thread_ = std::thread([&] {
            result_ = devices::read(in, buffer_, sizeof buffer_, 10000);
            status_ = devices::lastStatus();
        });
        auto sent = [&] {
            std::size_t n = 0;
            for (auto& e : bus.urbLog()) n += e.function == URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER;
            return n > before;
        };
        while (!sent()) std::this_thread::yield();
        bus.runOnController([] {});  // queued at its endpoint
    }
    long finish(Status* status) {
        thread_.join();
        *status = status_;
        return result_;
    }

private:
    std::thread thread_;
    std::uint8_t buffer_[8] = {};
    long result_ = 0;
    Status status_ = STATUS_SUCCESS;
};

// Which of the URB functions went to one endpoint, in order.
std::vector<std::uint16_t> pipeRequests(EmulatedBus& bus, std::uint8_t endpoint) {
    std::vector<std::uint16_t> out;
    for (auto& e : bus.urbLog())
        if (e.endpoint == endpoint) out.push_back(e.function);
    return out;
}

TEST_F(DriverTest, GoingToSleepEndsTheReadInFlightAndWakingUpLetsReadsWorkAgain) {
    for (bool bySystem : {true, false}) {
        const char* how = bySystem ? "system sleep" : "sleep code";
        TestFunction fn(64);
        ASSERT_EQ(plug(fn), STATUS_SUCCESS);
        devices::Handle control_handle = devices::open(path);
        devices::Handle in = devices::open(path + "\\PIPE01");
        // A few rounds, so that a device leaving D0 before its read has ended shows.
        for (int round = 0; round < 5; ++round) {
            bus->clearUrbLog();
            PendingRead read(*bus, in);
            if (bySystem)
                EXPECT_TRUE(power::setSystemState(PowerSystemSleeping3)) << how;
            else
                EXPECT_EQ(control(control_handle, pipedrv::IOCTL_PIPEDRV_SLEEP), STATUS_SUCCESS) << how;
            Status status;
            EXPECT_EQ(read.finish(&status), -1) << how;
            EXPECT_EQ(status, STATUS_CANCELLED) << how;
            auto requests = pipeRequests(*bus, 0x81);
            requests.resize(std::min<std::size_t>(requests.size(), 3));  // a system sleep aborts at its set too
            EXPECT_EQ(requests,
                      (std::vector<std::uint16_t>{URB_FUNCTION_BULK_OR_INTERRUPT_TRANSFER, URB_FUNCTION_ABORT_PIPE,
                                                  URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL}))
                << how << ": aborted, then its pipe reset";
            for (auto& e : bus->urbLog()) {
                if (e.function == URB_FUNCTION_SYNC_RESET_PIPE_AND_CLEAR_STALL) {
                    EXPECT_EQ(e.power, PowerDeviceD0) << how << ": the read ended before the device left D0";
                }
            }
            EXPECT_EQ(bus->devicePower(port), PowerDeviceD2) << how;
            EXPECT_EQ(power::reportedDeviceState(DriverTest::device()), PowerDeviceD2) << how;
            EXPECT_TRUE(countReturnsToOne()) << how;

            std::uint8_t b[8];
            EXPECT_EQ(devices::read(in, b, sizeof b, 1000), -1) << how;
            EXPECT_EQ(devices::lastStatus(), STATUS_POWER_STATE_INVALID) << how;
            std::size_t returned = 0;
            EXPECT_FALSE(devices::deviceControl(in, pipedrv::IOCTL_PIPEDRV_BULK_READ, nullptr, 0, b, sizeof b, &returned));
            EXPECT_EQ(devices::lastStatus(), STATUS_POWER_STATE_INVALID) << how;

            if (bySystem)
                EXPECT_TRUE(power::setSystemState(PowerSystemWorking)) << how;
            else
                EXPECT_EQ(control(control_handle, pipedrv::IOCTL_PIPEDRV_WAKE), STATUS_SUCCESS) << how;
            EXPECT_EQ(bus->devicePower(port), PowerDeviceD0) << how;
            fn.queueIn({7, 8});
            EXPECT_EQ(devices::read(in, b, sizeof b, 1000), 2) << how;
            EXPECT_TRUE(countReturnsToOne()) << how;
        }
        in.close();
        control_handle.close();
        bus->pull(port);
    }
}

TEST_F(DriverTest, HibernationTakesTheDeviceToTheStateItsCapabilitiesGive) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    EXPECT_TRUE(power::setSystemState(PowerSystemHibernate));
    EXPECT_EQ(bus->devicePower(port), PowerDeviceD3);
    EXPECT_EQ(ext()->system_power, PowerSystemHibernate);
    EXPECT_TRUE(power::setSystemState(PowerSystemWorking));
    EXPECT_EQ(bus->devicePower(port), PowerDeviceD0);
    EXPECT_EQ(ext()->device_state, pipedrv::DEVICE_WORKING);
    EXPECT_TRUE(countReturnsToOne());
}

// A vetoed sleep leaves the device stopped by its query until the set to working that
// follows the veto; then reads work again.
TEST_F(DriverTest, AVetoedSleepIsFollowedByWorkingAgain) {
    TestFunction fn(64);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    devices::Handle in = devices::open(path + "\\PIPE01");
    bus->refuseDevicePower(port, IRP_MN_QUERY_POWER, STATUS_UNSUCCESSFUL);
    EXPECT_FALSE(power::setSystemState(PowerSystemSleeping3));
    EXPECT_EQ(bus->devicePower(port), PowerDeviceD0);
    EXPECT_EQ(ext()->device_state, pipedrv::DEVICE_WORKING);
    fn.queueIn({1});
    std::uint8_t b[4];
    EXPECT_EQ(devices::read(in, b, sizeof b, 1000), 1);
    EXPECT_TRUE(countReturnsToOne());
}

// The sleep and wake codes answer with the power request's own status, and free what
// they allocated when the request cannot be made.
TEST_F(DriverTest, SleepAndWakeCodesReportTheirPowerRequests) {
    struct Case {
        const char* what;
        DevicePower deviceWake;
        Status refuseSet;
        std::uint32_t code;
        Status status;
        DevicePower after;
    } cases[] = {
        {"sleep", PowerDeviceD2, STATUS_SUCCESS, pipedrv::IOCTL_PIPEDRV_SLEEP, STATUS_SUCCESS, PowerDeviceD2},
        {"sleep, a device that cannot wake", PowerDeviceUnspecified, STATUS_SUCCESS, pipedrv::IOCTL_PIPEDRV_SLEEP,
         STATUS_INVALID_PARAMETER, PowerDeviceD0},
        {"sleep, refused by the bus", PowerDeviceD2, STATUS_DEVICE_NOT_READY, pipedrv::IOCTL_PIPEDRV_SLEEP,
         STATUS_DEVICE_NOT_READY, PowerDeviceD0},
        {"wake while awake", PowerDeviceD2, STATUS_SUCCESS, pipedrv::IOCTL_PIPEDRV_WAKE, STATUS_SUCCESS, PowerDeviceD0},
    };
    for (const Case& c : cases) {
        TestFunction fn(64);
        PortOptions options;
        options.capabilities.DeviceWake = c.deviceWake;
        ASSERT_EQ(plug(fn, options), STATUS_SUCCESS);
        bus->refuseDevicePower(port, IRP_MN_SET_POWER, c.refuseSet);
        devices::Handle control_handle = devices::open(path);
        devices::Handle in = devices::open(path + "\\PIPE01");
        EXPECT_EQ(control(control_handle, c.code), c.status) << c.what;
        EXPECT_EQ(bus->devicePower(port), c.after) << c.what;
        EXPECT_TRUE(countReturnsToOne()) << c.what;
        if (c.after == PowerDeviceD0) {
            fn.queueIn({1});
            std::uint8_t b[4];
            EXPECT_EQ(devices::read(in, b, sizeof b, 1000), 1) << c.what << ": still working";
        }
        in.close();
        control_handle.close();
        bus->pull(port);
    }
}

TEST_F(DriverTest, ARemoteWakeBringsTheDeviceBackAndArmsAgain) {
    TestFunction fn(64);
    fn.remoteWakeup(true);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    EXPECT_TRUE(bus->waitWakePending(port)) << "armed at start";
    EXPECT_EQ(pipedrv::pipedrv_arm_wait_wake(device()), STATUS_DEVICE_BUSY);

    EXPECT_TRUE(power::setSystemState(PowerSystemSleeping3));  // the bus can wake from here
    EXPECT_EQ(bus->devicePower(port), PowerDeviceD2);
    EXPECT_TRUE(bus->waitWakePending(port));
    EXPECT_TRUE(bus->remoteWake(port));
    EXPECT_TRUE(eventually([&] { return bus->devicePower(port) == PowerDeviceD0 && bus->waitWakePending(port); }));
    EXPECT_TRUE(countReturnsToOne());
    devices::Handle in = devices::open(path + "\\PIPE01");
    fn.queueIn({5});
    std::uint8_t b[4];
    EXPECT_EQ(devices::read(in, b, sizeof b, 1000), 1) << "working after the wake";

    EXPECT_TRUE(power::setSystemState(PowerSystemWorking));
    EXPECT_TRUE(power::setSystemState(PowerSystemHibernate));  // deeper than the bus can wake from
    EXPECT_TRUE(eventually([&] { return !bus->waitWakePending(port) && interlockedRead(ext()->wait_wake_armed) == 0; }));
    EXPECT_FALSE(bus->remoteWake(port));
    EXPECT_EQ(bus->devicePower(port), PowerDeviceD3);
    EXPECT_TRUE(power::setSystemState(PowerSystemWorking));
    EXPECT_TRUE(countReturnsToOne());
}

TEST_F(DriverTest, StopDisarmsStartArmsAgainAndRemovalLetsTheWaitWakeGo) {
    TestFunction fn(64);
    fn.remoteWakeup(true);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    ASSERT_EQ(pnp::queryStop(pdo()), STATUS_SUCCESS);
    ASSERT_EQ(pnp::stop(pdo()), STATUS_SUCCESS);
    EXPECT_TRUE(eventually([&] { return !bus->waitWakePending(port) && interlockedRead(ext()->wait_wake_armed) == 0; }));
    ASSERT_EQ(pnp::start(pdo()), STATUS_SUCCESS);
    EXPECT_TRUE(bus->waitWakePending(port));
    EXPECT_EQ(pnp::requestRemoval(pdo()), STATUS_SUCCESS);  // returns once the device is gone
    EXPECT_EQ(driver->DeviceObject, nullptr);
    EXPECT_FALSE(bus->waitWakePending(port));
}

TEST_F(DriverTest, ADisarmBeforeTheWaitWakeReachesTheBusCancelsIt) {
    TestFunction fn(64);
    fn.remoteWakeup(true);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    pipedrv::pipedrv_disarm_wait_wake(device());
    ASSERT_TRUE(eventually([&] { return interlockedRead(ext()->wait_wake_armed) == 0; }));
    {
        IrqlScope raised(DISPATCH_LEVEL);  // the request is delivered later, from the power manager's thread
        EXPECT_EQ(pipedrv::pipedrv_arm_wait_wake(device()), STATUS_PENDING);
        pipedrv::pipedrv_disarm_wait_wake(device());
    }
    EXPECT_TRUE(eventually([&] { return interlockedRead(ext()->wait_wake_armed) == 0; }));
    EXPECT_FALSE(bus->waitWakePending(port));
    EXPECT_EQ(pipedrv::pipedrv_arm_wait_wake(device()), STATUS_PENDING) << "free to arm again";
    EXPECT_TRUE(bus->waitWakePending(port));
}

// Arm and disarm race the bus completing the wait-wake from its controller thread.
// Each request ends exactly once: the armed mark comes back only from a request's end,
// and a request completed twice or never would break the host or hold the mark.
TEST_F(DriverTest, ArmAndDisarmRaceARemoteWakeWithoutLosingARequest) {
    TestFunction fn(64);
    fn.remoteWakeup(true);
    ASSERT_EQ(plug(fn), STATUS_SUCCESS);
    DeviceObject* dev = device();
    std::atomic<bool> stop{false};
    std::thread waker([&] {
        while (!stop.load()) {
            bus->remoteWake(port);
            std::this_thread::yield();
        }
    });
    // The bus ends a cancelled request on its controller thread, which a busy machine may
    // not run for the whole of a short loop: every arm would find the first request still
    // armed. So the race goes on until enough requests went out; a request that never
    // comes back keeps the mark, and the loop ends at its deadline with too few.
    int armed = 0;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (int i = 0; (i < 3000 || armed < 100) && std::chrono::steady_clock::now() < deadline; ++i) {
        Status status;
        if (i % 2) {
            IrqlScope raised(DISPATCH_LEVEL);
            status = pipedrv::pipedrv_arm_wait_wake(dev);
        } else {
            status = pipedrv::pipedrv_arm_wait_wake(dev);
        }
        armed += status == STATUS_PENDING;
        if (i % 3 == 0) std::this_thread::yield();
        pipedrv::pipedrv_disarm_wait_wake(dev);
    }
    stop.store(true);
    waker.join();
    EXPECT_GE(armed, 100);
    // A wake that was still on its way may re-arm after the last disarm: disarm until
    // nothing is left armed.
    EXPECT_TRUE(eventually([&] {
        pipedrv::pipedrv_disarm_wait_wake(dev);
        return interlockedRead(ext()->wait_wake_armed) == 0 && KeReadStateEvent(&ext()->wait_wake_done) != 0;
    })) << "every request came back";
    EXPECT_FALSE(bus->waitWakePending(port));
    EXPECT_EQ(interlockedRead(ext()->wait_wake_irp), nullptr);
    EXPECT_TRUE(countReturnsToOne());
}

}  // namespace
}  // namespace drv
