// The power manager.
#include <map>
#include <memory>

#include "internal.h"
#include "kernel/host.h"
#include "kernel/pnp.h"
#include "wait.h"

namespace kernel {
namespace {

std::mutex& reportedMutex() {
    static std::mutex m;
    return m;
}
std::map<DeviceObject*, DevicePower>& reported() {
    static std::map<DeviceObject*, DevicePower> m;
    return m;
}

Irp* powerIrp(DeviceObject* top, std::uint8_t minor, PowerStateType type, PowerState state) {
    Irp* irp = IoAllocateIrp(top->StackSize, false);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    irp->origin = Irp::Origin::Host;
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_POWER;
    s->MinorFunction = minor;
    s->Parameters.Power.Type = type;
    s->Parameters.Power.State = state;
    if (minor == IRP_MN_WAIT_WAKE) s->Parameters.WaitWake.PowerState = state.SystemState;
    return irp;
}

// A system power request to one stack, waited for.
Status sendSystemPower(DeviceObject* pdo, std::uint8_t minor, SystemPower state) {
    DeviceObject* top = pnp::topOfStack(pdo);
    PowerState ps;
    ps.SystemState = state;
    Irp* irp = powerIrp(top, minor, SystemPowerState, ps);
    irp->IoStatus.Status = STATUS_SUCCESS;  // power requests start as success
    auto signal = std::make_shared<detail::Signal>();
    irp->onFinished = [signal](Irp*) { signal->set(); };
    IoCallDriver(top, irp);
    signal->wait();
    Status status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    return status;
}

}  // namespace

Status PoRequestPowerIrp(DeviceObject* pdo, std::uint8_t minor, PowerState state,
                         RequestPowerComplete complete, void* context, Irp** out) {
    if (minor != IRP_MN_SET_POWER && minor != IRP_MN_QUERY_POWER && minor != IRP_MN_WAIT_WAKE)
        return STATUS_INVALID_PARAMETER;
    // A state the bus left unspecified (a device that cannot wake, say) is no state to ask for.
    bool valid = minor == IRP_MN_WAIT_WAKE
                     ? state.SystemState > PowerSystemUnspecified && state.SystemState < PowerSystemMaximum
                     : state.DeviceState > PowerDeviceUnspecified && state.DeviceState < PowerDeviceMaximum;
    if (!valid) return STATUS_INVALID_PARAMETER;
    DeviceObject* top = pnp::topOfStack(pdo);
    PowerStateType type = minor == IRP_MN_WAIT_WAKE ? SystemPowerState : DevicePowerState;
    Irp* irp = powerIrp(top, minor, type, state);
    irp->IoStatus.Status = STATUS_SUCCESS;
    irp->onFinished = [pdo, minor, state, complete, context](Irp* done) {
        if (complete) complete(pdo, minor, state, context, &done->IoStatus);
        IoFreeIrp(done);
    };
    if (out) *out = irp;
    // Pageable drivers take power requests at passive level only.
    if (KeGetCurrentIrql() == PASSIVE_LEVEL)
        IoCallDriver(top, irp);
    else
        detail::powerQueue().push([top, irp] { IoCallDriver(top, irp); });
    return STATUS_PENDING;
}

void PoStartNextPowerIrp(Irp*) {}

Status PoCallDriver(DeviceObject* device, Irp* irp) { return IoCallDriver(device, irp); }

PowerState PoSetPowerState(DeviceObject* device, PowerStateType type, PowerState state) {
    PowerState old{};
    if (type != DevicePowerState) return old;
    std::lock_guard lock(reportedMutex());
    auto& r = reported();
    old.DeviceState = r.count(device) ? r[device] : PowerDeviceD0;
    r[device] = state.DeviceState;
    return old;
}

namespace power {

bool setSystemState(SystemPower state) {
    std::vector<DeviceObject*> stacks;
    for (DeviceObject* pdo : pnp::devices())
        if (pnp::state(pdo) == pnp::NodeState::Started) stacks.push_back(pdo);
    bool vetoed = false;
    for (DeviceObject* pdo : stacks)
        if (!NT_SUCCESS(sendSystemPower(pdo, IRP_MN_QUERY_POWER, state))) vetoed = true;
    SystemPower target = vetoed ? PowerSystemWorking : state;
    for (DeviceObject* pdo : stacks) sendSystemPower(pdo, IRP_MN_SET_POWER, target);
    return !vetoed;
}

DevicePower reportedDeviceState(DeviceObject* device) {
    std::lock_guard lock(reportedMutex());
    auto it = reported().find(device);
    return it == reported().end() ? PowerDeviceD0 : it->second;
}

void drain() { detail::powerQueue().drain(); }

}  // namespace power
}  // namespace kernel
