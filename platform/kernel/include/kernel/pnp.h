#pragma once
// The plug-and-play manager and the power manager. They send their requests in the
// order the platform does, so a driver meets the same sequences as in service:
//  - arrival: add-device, start, then a capabilities query;
//  - rebalance: query-stop, then stop (or cancel-stop), then start again;
//  - orderly removal: vetoed while a handle is open; else query-remove, then remove
//    (or cancel-remove);
//  - surprise removal: surprise-removal at once, remove once the last handle is closed.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "kernel/io.h"

namespace kernel {

struct DeviceCapabilities {
    std::uint16_t Size = sizeof(DeviceCapabilities);
    std::uint16_t Version = 1;
    std::uint32_t DeviceD1 : 1 = 0;
    std::uint32_t DeviceD2 : 1 = 0;
    std::uint32_t LockSupported : 1 = 0;
    std::uint32_t EjectSupported : 1 = 0;
    std::uint32_t Removable : 1 = 0;
    std::uint32_t DockDevice : 1 = 0;
    std::uint32_t UniqueID : 1 = 0;
    std::uint32_t SilentInstall : 1 = 0;
    std::uint32_t RawDeviceOK : 1 = 0;
    std::uint32_t SurpriseRemovalOK : 1 = 0;
    std::uint32_t WakeFromD0 : 1 = 0;
    std::uint32_t WakeFromD1 : 1 = 0;
    std::uint32_t WakeFromD2 : 1 = 0;
    std::uint32_t WakeFromD3 : 1 = 0;
    std::uint32_t HardwareDisabled : 1 = 0;
    std::uint32_t NonDynamic : 1 = 0;
    std::uint32_t Reserved : 16 = 0;
    std::uint32_t Address = 0xFFFFFFFF;
    std::uint32_t UINumber = 0xFFFFFFFF;
    DevicePower DeviceState[PowerSystemMaximum] = {};
    SystemPower SystemWake = PowerSystemUnspecified;
    DevicePower DeviceWake = PowerDeviceUnspecified;
    std::uint32_t D1Latency = 0;
    std::uint32_t D2Latency = 0;
    std::uint32_t D3Latency = 0;
};
static_assert(sizeof(DeviceCapabilities) == 64);

namespace pnp {

// What a bus says of a device it found.
struct DeviceIdentity {
    std::string hardwareId;  // e.g. "USB\VID_0A5C&PID_0700": selects the driver and registry
    std::string instanceId;  // e.g. "USB\VID_0A5C&PID_0700\1": names its interfaces
};

// Binds a driver to a hardware id, as a setup information file does.
void bindDriver(const std::string& hardwareId, DriverObject* driver);
void unbindDriver(DriverObject* driver);

// A bus found a device: add-device of the bound driver, start, capabilities. Returns
// the start status (or STATUS_NO_SUCH_DEVICE when no driver is bound). A failed start
// removes the stack again.
Status deviceArrived(DeviceObject* pdo, const DeviceIdentity& identity);

// The device is gone from its bus: surprise-removal now, remove after the last close.
// False when no stack is known for it (never started, or already removed): the bus
// then deletes its device object itself.
bool surpriseRemoval(DeviceObject* pdo);

// Rebalance: query-stop, stop, start again. Returns false when a driver vetoed the stop.
bool rebalance(DeviceObject* pdo);
// The parts of a rebalance, for tests that look between them.
Status queryStop(DeviceObject* pdo);
Status cancelStop(DeviceObject* pdo);
Status stop(DeviceObject* pdo);
Status start(DeviceObject* pdo);

// Orderly removal (an eject). STATUS_ACCESS_DENIED without any request while a handle
// is open; otherwise the status of query-remove, and the stack is removed on success.
Status requestRemoval(DeviceObject* pdo);
Status queryRemove(DeviceObject* pdo);
Status cancelRemove(DeviceObject* pdo);
Status remove(DeviceObject* pdo);

// State a test may look at.
enum class NodeState { Added, Started, StopPending, Stopped, RemovePending, SurpriseRemoved,
                       Removed };
NodeState state(DeviceObject* pdo);
int openHandles(DeviceObject* pdo);
DeviceObject* topOfStack(DeviceObject* pdo);
std::vector<DeviceObject*> devices();  // present stacks, by their PDOs, in arrival order

// Sends one plug-and-play request to the top of a stack and waits for it. Its status
// starts as STATUS_NOT_SUPPORTED.
Status sendPnp(DeviceObject* pdo, std::uint8_t minor, DeviceCapabilities* capabilities = nullptr);

// Host side of the I/O manager: open handles are counted per stack, and the last close
// of a surprise-removed device lets its remove request go.
void handleOpened(DeviceObject* pdo);
void handleClosed(DeviceObject* pdo);
std::optional<DeviceIdentity> identity(DeviceObject* pdo);

}  // namespace pnp

// Power manager.
using RequestPowerComplete = void (*)(DeviceObject* device, std::uint8_t minor,
                                      PowerState state, void* context,
                                      IoStatusBlock* status);
// A new power request to the top of the stack of `pdo`; `complete` runs when it ends.
Status PoRequestPowerIrp(DeviceObject* pdo, std::uint8_t minor, PowerState state,
                         RequestPowerComplete complete, void* context, Irp** irp);
void PoStartNextPowerIrp(Irp* irp);
Status PoCallDriver(DeviceObject* device, Irp* irp);
PowerState PoSetPowerState(DeviceObject* device, PowerStateType type, PowerState state);

namespace power {

// A system power change over every present stack: query, then set; a vetoed query is
// followed by a set to working. Returns whether the system went to `state`.
bool setSystemState(SystemPower state);
// The last state a driver reported for its device (PoSetPowerState).
DevicePower reportedDeviceState(DeviceObject* device);
// Waits until power requests queued for passive level have run.
void drain();

}  // namespace power
}  // namespace kernel
