// The plug-and-play manager.
#include <algorithm>
#include <map>
#include <memory>
#include <optional>

#include "internal.h"
#include "kernel/host.h"
#include "kernel/pnp.h"
#include "wait.h"

namespace kernel::pnp {
namespace {

struct Node {
    DeviceObject* pdo = nullptr;
    DeviceIdentity identity;
    NodeState state = NodeState::Added;
    NodeState beforeRemovePending = NodeState::Started;
    int handles = 0;
    bool removeAfterLastClose = false;
    std::uint64_t arrival = 0;
};

struct Manager {
    std::mutex mutex;        // guards the tables below; never held across a request
    std::mutex operation;    // one plug-and-play operation at a time
    std::map<DeviceObject*, std::shared_ptr<Node>> nodes;
    std::vector<std::pair<std::string, DriverObject*>> bindings;
    std::uint64_t arrivals = 0;
};

Manager& manager() {
    static Manager m;
    return m;
}

std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::shared_ptr<Node> find(DeviceObject* pdo) {
    Manager& m = manager();
    std::lock_guard lock(m.mutex);
    auto it = m.nodes.find(pdo);
    return it == m.nodes.end() ? nullptr : it->second;
}

void setState(Node& node, NodeState state) {
    std::lock_guard lock(manager().mutex);
    node.state = state;
}

void forget(DeviceObject* pdo) {
    Manager& m = manager();
    std::lock_guard lock(m.mutex);
    m.nodes.erase(pdo);
}

DriverObject* boundDriver(const std::string& hardwareId) {
    Manager& m = manager();
    std::lock_guard lock(m.mutex);
    for (auto& [id, driver] : m.bindings)
        if (id == lowered(hardwareId)) return driver;
    return nullptr;
}

Status queryCapabilities(DeviceObject* pdo) {
    DeviceCapabilities caps;
    return sendPnp(pdo, IRP_MN_QUERY_CAPABILITIES, &caps);
}

Status startNode(Node& node) {
    Status status = sendPnp(node.pdo, IRP_MN_START_DEVICE);
    if (!NT_SUCCESS(status)) return status;
    setState(node, NodeState::Started);
    detail::interfacesStarted(node.pdo);
    queryCapabilities(node.pdo);
    return status;
}

Status removeNode(Node& node) {
    Status status = sendPnp(node.pdo, IRP_MN_REMOVE_DEVICE);
    setState(node, NodeState::Removed);
    detail::interfacesGone(node.pdo);
    forget(node.pdo);
    return status;
}

}  // namespace

void bindDriver(const std::string& hardwareId, DriverObject* driver) {
    Manager& m = manager();
    std::lock_guard lock(m.mutex);
    m.bindings.emplace_back(lowered(hardwareId), driver);
}

void unbindDriver(DriverObject* driver) {
    Manager& m = manager();
    std::lock_guard lock(m.mutex);
    std::erase_if(m.bindings, [driver](auto& b) { return b.second == driver; });
}

Status sendPnp(DeviceObject* pdo, std::uint8_t minor, DeviceCapabilities* capabilities) {
    hostAssert(KeGetCurrentIrql() == PASSIVE_LEVEL, "plug-and-play request sent above passive level");
    DeviceObject* top = topOfStack(pdo);
    Irp* irp = IoAllocateIrp(top->StackSize, false);
    irp->IoStatus.Status = STATUS_NOT_SUPPORTED;
    auto signal = std::make_shared<detail::Signal>();
    irp->origin = Irp::Origin::Host;
    irp->onFinished = [signal](Irp*) { signal->set(); };
    IoStackLocation* s = IoGetNextIrpStackLocation(irp);
    s->MajorFunction = IRP_MJ_PNP;
    s->MinorFunction = minor;
    s->Parameters.DeviceCapabilities.Capabilities = capabilities;
    IoCallDriver(top, irp);
    signal->wait();
    Status status = irp->IoStatus.Status;
    IoFreeIrp(irp);
    return status;
}

Status deviceArrived(DeviceObject* pdo, const DeviceIdentity& identity) {
    Manager& m = manager();
    std::lock_guard op(m.operation);
    auto node = std::make_shared<Node>();
    node->pdo = pdo;
    node->identity = identity;
    {
        std::lock_guard lock(m.mutex);
        node->arrival = ++m.arrivals;
        m.nodes[pdo] = node;
    }
    DriverObject* driver = boundDriver(identity.hardwareId);
    if (!driver || !driver->AddDevice) return STATUS_NO_SUCH_DEVICE;
    Status status = driver->AddDevice(driver, pdo);
    if (!NT_SUCCESS(status)) return status;
    status = startNode(*node);
    if (!NT_SUCCESS(status)) removeNode(*node);  // a stack that failed to start is torn down
    return status;
}

bool surpriseRemoval(DeviceObject* pdo) {
    Manager& m = manager();
    std::lock_guard op(m.operation);
    auto node = find(pdo);
    if (!node) return false;
    sendPnp(pdo, IRP_MN_SURPRISE_REMOVAL);
    bool removeNow;
    {
        std::lock_guard lock(m.mutex);
        node->state = NodeState::SurpriseRemoved;
        removeNow = node->handles == 0;
        node->removeAfterLastClose = !removeNow;
    }
    if (removeNow) removeNode(*node);
    return true;
}

Status queryStop(DeviceObject* pdo) {
    std::lock_guard op(manager().operation);
    auto node = find(pdo);
    if (!node || node->state != NodeState::Started) return STATUS_INVALID_DEVICE_REQUEST;
    Status status = sendPnp(pdo, IRP_MN_QUERY_STOP_DEVICE);
    if (NT_SUCCESS(status)) setState(*node, NodeState::StopPending);
    return status;
}

Status cancelStop(DeviceObject* pdo) {
    std::lock_guard op(manager().operation);
    auto node = find(pdo);
    if (!node || (node->state != NodeState::StopPending && node->state != NodeState::Started))
        return STATUS_INVALID_DEVICE_REQUEST;
    Status status = sendPnp(pdo, IRP_MN_CANCEL_STOP_DEVICE);
    setState(*node, NodeState::Started);
    return status;
}

Status stop(DeviceObject* pdo) {
    std::lock_guard op(manager().operation);
    auto node = find(pdo);
    if (!node || node->state != NodeState::StopPending) return STATUS_INVALID_DEVICE_REQUEST;
    Status status = sendPnp(pdo, IRP_MN_STOP_DEVICE);
    setState(*node, NT_SUCCESS(status) ? NodeState::Stopped : NodeState::Started);
    return status;
}

Status start(DeviceObject* pdo) {
    std::lock_guard op(manager().operation);
    auto node = find(pdo);
    if (!node || (node->state != NodeState::Stopped && node->state != NodeState::Added))
        return STATUS_INVALID_DEVICE_REQUEST;
    return startNode(*node);
}

bool rebalance(DeviceObject* pdo) {
    Status status = queryStop(pdo);
    if (!NT_SUCCESS(status)) {
        cancelStop(pdo);
        return false;
    }
    if (!NT_SUCCESS(stop(pdo))) return false;
    return NT_SUCCESS(start(pdo));
}

Status queryRemove(DeviceObject* pdo) {
    Manager& m = manager();
    std::lock_guard op(m.operation);
    auto node = find(pdo);
    if (!node || node->state == NodeState::SurpriseRemoved || node->state == NodeState::RemovePending)
        return STATUS_INVALID_DEVICE_REQUEST;
    {
        std::lock_guard lock(m.mutex);
        if (node->handles > 0) return STATUS_ACCESS_DENIED;  // vetoed: nothing is sent
    }
    Status status = sendPnp(pdo, IRP_MN_QUERY_REMOVE_DEVICE);
    if (NT_SUCCESS(status)) {
        std::lock_guard lock(m.mutex);
        node->beforeRemovePending = node->state;
        node->state = NodeState::RemovePending;
    }
    return status;
}

Status cancelRemove(DeviceObject* pdo) {
    std::lock_guard op(manager().operation);
    auto node = find(pdo);
    if (!node || node->state == NodeState::SurpriseRemoved) return STATUS_INVALID_DEVICE_REQUEST;
    Status status = sendPnp(pdo, IRP_MN_CANCEL_REMOVE_DEVICE);
    if (node->state == NodeState::RemovePending) setState(*node, node->beforeRemovePending);
    return status;
}

Status remove(DeviceObject* pdo) {
    std::lock_guard op(manager().operation);
    auto node = find(pdo);
    if (!node || node->state != NodeState::RemovePending) return STATUS_INVALID_DEVICE_REQUEST;
    return removeNode(*node);
}

Status requestRemoval(DeviceObject* pdo) {
    Status status = queryRemove(pdo);
    if (status == STATUS_ACCESS_DENIED || status == STATUS_INVALID_DEVICE_REQUEST) return status;
    if (!NT_SUCCESS(status)) {
        cancelRemove(pdo);
        return status;
    }
    remove(pdo);
    return status;
}

NodeState state(DeviceObject* pdo) {
    auto node = find(pdo);
    if (!node) return NodeState::Removed;
    std::lock_guard lock(manager().mutex);
    return node->state;
}

int openHandles(DeviceObject* pdo) {
    auto node = find(pdo);
    if (!node) return 0;
    std::lock_guard lock(manager().mutex);
    return node->handles;
}

DeviceObject* topOfStack(DeviceObject* pdo) {
    std::lock_guard lock(detail::objectMutex());
    DeviceObject* top = pdo;
    while (top->AttachedDevice) top = top->AttachedDevice;
    return top;
}

std::vector<DeviceObject*> devices() {
    Manager& m = manager();
    std::lock_guard lock(m.mutex);
    std::vector<std::shared_ptr<Node>> present;
    for (auto& [pdo, node] : m.nodes)
        if (node->state != NodeState::SurpriseRemoved) present.push_back(node);
    std::sort(present.begin(), present.end(),
              [](auto& a, auto& b) { return a->arrival < b->arrival; });
    std::vector<DeviceObject*> out;
    for (auto& n : present) out.push_back(n->pdo);
    return out;
}

void handleOpened(DeviceObject* pdo) {
    auto node = find(pdo);
    if (!node) return;
    std::lock_guard lock(manager().mutex);
    ++node->handles;
}

void handleClosed(DeviceObject* pdo) {
    Manager& m = manager();
    auto node = find(pdo);
    if (!node) return;
    bool removeNow;
    {
        std::lock_guard lock(m.mutex);
        --node->handles;
        removeNow = node->handles == 0 && node->removeAfterLastClose;
        if (removeNow) node->removeAfterLastClose = false;
    }
    if (removeNow) {
        std::lock_guard op(m.operation);
        removeNode(*node);
    }
}

std::optional<DeviceIdentity> identity(DeviceObject* pdo) {
    auto node = find(pdo);
    if (!node) return std::nullopt;
    return node->identity;
}

}  // namespace kernel::pnp
