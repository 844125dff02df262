#pragma once
// Small drivers written for the host's tests: a bus whose device objects answer
// plug-and-play and power, and a function driver that records what reaches it.
#include <gtest/gtest.h>

#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "kernel/host.h"
#include "kernel/pnp.h"
#include "kernel/pool.h"

namespace kt {

using namespace kernel;

// Host assertions become exceptions that a test can expect.
struct HostAssertion : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class ThrowingAssertions {
public:
    ThrowingAssertions() {
        previous_ = setAssertionHandler([](const std::string& m) { throw HostAssertion(m); });
    }
    ~ThrowingAssertions() { setAssertionHandler(previous_); }

private:
    AssertionHandler previous_;
};

// --- a bus with device objects that succeed plug-and-play and power requests ---
inline Status busComplete(DeviceObject*, Irp* irp) {
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    Status status = irp->IoStatus.Status;
    if (s->MajorFunction == IRP_MJ_PNP) {
        if (s->MinorFunction != IRP_MN_QUERY_PNP_DEVICE_STATE) status = STATUS_SUCCESS;
    } else if (s->MajorFunction == IRP_MJ_POWER) {
        status = STATUS_SUCCESS;
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

inline Status busEntry(DriverObject* d, const UnicodeString*) {
    d->MajorFunction[IRP_MJ_PNP] = busComplete;
    d->MajorFunction[IRP_MJ_POWER] = busComplete;
    return STATUS_SUCCESS;
}

// --- a function driver that records requests ---
struct Recorder {
    std::mutex mutex;
    std::vector<std::string> events;
    Status vetoQueryRemove = STATUS_SUCCESS;
    Status vetoQueryStop = STATUS_SUCCESS;
    Status vetoQueryPower = STATUS_SUCCESS;
    Status startStatus = STATUS_SUCCESS;
    bool clearInitializing = true;
    // With probeAtStart: what a caller saw of the device's interface while its start
    // was on its way down.
    bool probeAtStart = false;
    std::size_t listedAtStart = 0;
    Status openAtStart = STATUS_SUCCESS;

    void add(std::string e) {
        std::lock_guard lock(mutex);
        events.push_back(std::move(e));
    }
    std::vector<std::string> take() {
        std::lock_guard lock(mutex);
        auto out = events;
        events.clear();
        return out;
    }
};

inline Recorder* recorder = nullptr;

// Each device keeps its own interface name, so a second arrival cannot orphan the first's.
struct FdoExtension {
    DeviceObject* lower;
    DeviceObject* pdo;
    UnicodeString link;
};

inline const Guid testInterface{0x11111111, 0x2222, 0x3333, {4, 5, 6, 7, 8, 9, 10, 11}};

// The path user mode opens the test interface of a device by.
inline std::string interfacePath(DeviceObject* pdo) {
    std::string instance = pnp::identity(pdo)->instanceId;
    for (char& c : instance) c = c == '\\' ? '#' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return "\\\\?\\" + instance + "#{11111111-2222-3333-0405-060708090a0b}";
}

inline const char* pnpName(std::uint8_t minor) {
    switch (minor) {
    case IRP_MN_START_DEVICE: return "start";
    case IRP_MN_QUERY_REMOVE_DEVICE: return "query-remove";
    case IRP_MN_REMOVE_DEVICE: return "remove";
    case IRP_MN_CANCEL_REMOVE_DEVICE: return "cancel-remove";
    case IRP_MN_STOP_DEVICE: return "stop";
    case IRP_MN_QUERY_STOP_DEVICE: return "query-stop";
    case IRP_MN_CANCEL_STOP_DEVICE: return "cancel-stop";
    case IRP_MN_QUERY_CAPABILITIES: return "capabilities";
    case IRP_MN_SURPRISE_REMOVAL: return "surprise-removal";
    default: return "other";
    }
}

inline Status recordPnp(DeviceObject* fdo, Irp* irp) {
    auto* ext = static_cast<FdoExtension*>(fdo->DeviceExtension);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    std::uint8_t minor = s->MinorFunction;
    recorder->add(pnpName(minor));
    Status veto = minor == IRP_MN_QUERY_REMOVE_DEVICE ? recorder->vetoQueryRemove
                : minor == IRP_MN_QUERY_STOP_DEVICE   ? recorder->vetoQueryStop
                : minor == IRP_MN_START_DEVICE        ? recorder->startStatus
                                                      : STATUS_SUCCESS;
    if (minor == IRP_MN_START_DEVICE && recorder->probeAtStart) {
        auto listed = enabledInterfaces(testInterface);
        recorder->listedAtStart = listed.size();
        FileObject* file = nullptr;
        recorder->openAtStart = fileOpen(interfacePath(ext->pdo), &file);
        fileClose(file);
    }
    if (!NT_SUCCESS(veto)) {
        irp->IoStatus.Status = veto;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return veto;
    }
    if (minor == IRP_MN_SURPRISE_REMOVAL || minor == IRP_MN_REMOVE_DEVICE)
        IoSetDeviceInterfaceState(&ext->link, false);
    IoSkipCurrentIrpStackLocation(irp);
    Status status = IoCallDriver(ext->lower, irp);
    if (minor == IRP_MN_REMOVE_DEVICE) {
        RtlFreeUnicodeString(&ext->link);
        IoDetachDevice(ext->lower);
        IoDeleteDevice(fdo);
    }
    return status;
}

inline Status recordCreateClose(DeviceObject*, Irp* irp) {
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    recorder->add(s->MajorFunction == IRP_MJ_CREATE ? "create " + toUtf8(s->FileObject->FileName) : "close");
    irp->IoStatus.Status = STATUS_SUCCESS;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

inline Status recordPower(DeviceObject* fdo, Irp* irp) {
    auto* ext = static_cast<FdoExtension*>(fdo->DeviceExtension);
    IoStackLocation* s = IoGetCurrentIrpStackLocation(irp);
    bool system = s->Parameters.Power.Type == SystemPowerState;
    std::string what = std::string(s->MinorFunction == IRP_MN_QUERY_POWER ? "query-power " : "set-power ") +
                       (system ? "S" + std::to_string(s->Parameters.Power.State.SystemState - 1)
                               : "D" + std::to_string(s->Parameters.Power.State.DeviceState - 1));
    recorder->add(what);
    PoStartNextPowerIrp(irp);
    if (s->MinorFunction == IRP_MN_QUERY_POWER && system && !NT_SUCCESS(recorder->vetoQueryPower)) {
        irp->IoStatus.Status = recorder->vetoQueryPower;
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return recorder->vetoQueryPower;
    }
    IoSkipCurrentIrpStackLocation(irp);
    return PoCallDriver(ext->lower, irp);
}

inline Status recordAddDevice(DriverObject* driver, DeviceObject* pdo) {
    DeviceObject* fdo = nullptr;
    Status status = IoCreateDevice(driver, sizeof(FdoExtension), nullptr, FILE_DEVICE_UNKNOWN,
                                   FILE_AUTOGENERATED_DEVICE_NAME, false, &fdo);
    if (!NT_SUCCESS(status)) return status;
    auto* ext = static_cast<FdoExtension*>(fdo->DeviceExtension);
    ext->pdo = pdo;
    ext->link = {};
    ext->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
    fdo->Flags |= DO_DIRECT_IO;
    if (recorder->clearInitializing) fdo->Flags &= ~DO_DEVICE_INITIALIZING;
    IoRegisterDeviceInterface(pdo, &testInterface, nullptr, &ext->link);
    IoSetDeviceInterfaceState(&ext->link, true);
    recorder->add("add-device");
    return STATUS_SUCCESS;
}

inline Status recordEntry(DriverObject* d, const UnicodeString*) {
    d->MajorFunction[IRP_MJ_PNP] = recordPnp;
    d->MajorFunction[IRP_MJ_POWER] = recordPower;
    d->MajorFunction[IRP_MJ_CREATE] = recordCreateClose;
    d->MajorFunction[IRP_MJ_CLOSE] = recordCreateClose;
    d->AddDevice = recordAddDevice;
    return STATUS_SUCCESS;
}

// One bus device with the recording driver above it.
class Stack : public ::testing::Test {
protected:
    void SetUp() override {
        recorder = &rec;
        bus = loadDriver("testbus", busEntry);
        driver = loadDriver("recorder", recordEntry);
        pnp::bindDriver(hardwareId, driver);
    }
    void TearDown() override {
        if (pdo && pnp::state(pdo) != pnp::NodeState::Removed) pnp::surpriseRemoval(pdo);
        if (pdo) IoDeleteDevice(pdo);
        unloadDriver(driver);
        unloadDriver(bus);
        recorder = nullptr;
    }
    Status arrive(const std::string& instance = "1") {
        IoCreateDevice(bus, 0, nullptr, FILE_DEVICE_BUS_EXTENDER, 0, false, &pdo);
        pdo->Flags &= ~DO_DEVICE_INITIALIZING;
        return pnp::deviceArrived(pdo, {hardwareId, hardwareId + "\\" + instance});
    }
    std::string path() const {
        auto all = enabledInterfaces(testInterface);
        return all.empty() ? std::string() : all.front();
    }

    Recorder rec;
    DriverObject* bus = nullptr;
    DriverObject* driver = nullptr;
    DeviceObject* pdo = nullptr;
    std::string hardwareId = "TEST\\VID_0001&PID_0002";
};

}  // namespace kt
