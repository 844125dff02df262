// Device objects, stacks, MDLs and work items.
#include <cstring>
#include <new>

#include "internal.h"
#include "kernel/pool.h"

namespace kernel {
namespace detail {

DeviceRecord* record(DeviceObject* device) {
    static_assert(std::is_standard_layout_v<DeviceRecord>);
    return reinterpret_cast<DeviceRecord*>(device);
}

std::mutex& objectMutex() {
    static std::mutex m;
    return m;
}

void freeRecord(DeviceRecord* r) {
    ::operator delete(r->extension, std::align_val_t(16));
    delete r;
}

void referenceDevice(DeviceObject* device) {
    std::lock_guard lock(objectMutex());
    ++record(device)->references;
}

void dereferenceDevice(DeviceObject* device) {
    DeviceRecord* r = record(device);
    bool free = false;
    {
        std::lock_guard lock(objectMutex());
        free = --r->references == 0 && r->deleted;
    }
    if (free) freeRecord(r);
}

WorkQueue::WorkQueue(int threads) {
    for (int i = 0; i < threads; ++i) threads_.emplace_back([this] { run(); });
}

WorkQueue::~WorkQueue() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (auto& t : threads_) t.join();
}

bool WorkQueue::onWorker() const {
    for (auto& t : threads_)
        if (t.get_id() == std::this_thread::get_id()) return true;
    return false;
}

void WorkQueue::push(std::function<void()> job) {
    {
        std::lock_guard lock(mutex_);
        jobs_.push_back(std::move(job));
    }
    wake_.notify_one();
}

void WorkQueue::drain() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return jobs_.empty() && busy_ == 0; });
}

void WorkQueue::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
        if (jobs_.empty()) return;
        auto job = std::move(jobs_.front());
        jobs_.pop_front();
        ++busy_;
        lock.unlock();
        job();
        lock.lock();
        --busy_;
        if (jobs_.empty() && busy_ == 0) idle_.notify_all();
    }
}

WorkQueue& workItemQueue() {
    static WorkQueue q(4);
    return q;
}

WorkQueue& powerQueue() {
    static WorkQueue q;
    return q;
}

}  // namespace detail

using detail::record;

Status IoCreateDevice(DriverObject* driver, std::uint32_t extensionSize,
                      const UnicodeString*, std::uint32_t deviceType,
                      std::uint32_t characteristics, bool, DeviceObject** device) {
    auto* r = new detail::DeviceRecord;
    r->extensionSize = extensionSize;
    if (extensionSize) {
        r->extension = ::operator new(extensionSize, std::align_val_t(16));
        std::memset(r->extension, 0, extensionSize);
    }
    DeviceObject& d = r->device;
    d.DriverObject = driver;
    d.DeviceExtension = r->extension;
    d.DeviceType = deviceType;
    d.Characteristics = characteristics;
    d.Flags = DO_DEVICE_INITIALIZING;
    d.StackSize = 1;
    {
        std::lock_guard lock(detail::objectMutex());
        d.NextDevice = driver->DeviceObject;
        driver->DeviceObject = &d;
    }
    *device = &d;
    return STATUS_SUCCESS;
}

void IoDeleteDevice(DeviceObject* device) {
    detail::DeviceRecord* r = record(device);
    detail::interfacesGone(device);  // a later device at this address starts unlisted
    bool free = false;
    {
        std::lock_guard lock(detail::objectMutex());
        DeviceObject** link = &device->DriverObject->DeviceObject;
        while (*link && *link != device) link = &(*link)->NextDevice;
        if (*link) *link = device->NextDevice;
        r->deleted = true;
        free = r->references == 0;
    }
    if (free) detail::freeRecord(r);
}

DeviceObject* IoAttachDeviceToDeviceStack(DeviceObject* source, DeviceObject* target) {
    std::lock_guard lock(detail::objectMutex());
    if (record(target)->deleted) return nullptr;
    DeviceObject* top = target;
    while (top->AttachedDevice) top = top->AttachedDevice;
    top->AttachedDevice = source;
    ++record(top)->references;  // a device stays until what is attached to it detaches
    record(source)->attachedTo = top;
    source->StackSize = static_cast<std::int8_t>(top->StackSize + 1);
    return top;
}

void IoDetachDevice(DeviceObject* lower) {
    bool free = false;
    {
        std::lock_guard lock(detail::objectMutex());
        DeviceObject* upper = lower->AttachedDevice;
        if (!upper) return;
        record(upper)->attachedTo = nullptr;
        lower->AttachedDevice = nullptr;
        free = --record(lower)->references == 0 && record(lower)->deleted;
    }
    if (free) detail::freeRecord(record(lower));
}

std::uint32_t pagesSpanned(const void* address, std::size_t length) {
    if (length == 0) return 0;
    auto a = reinterpret_cast<std::uintptr_t>(address);
    return static_cast<std::uint32_t>(((a % PAGE_SIZE) + length + PAGE_SIZE - 1) / PAGE_SIZE);
}

Mdl* IoAllocateMdl(void* address, std::uint32_t length, bool secondary, bool, Irp* irp) {
    auto* mdl = new Mdl;
    mdl->StartVa = address;
    mdl->ByteCount = length;
    mdl->pages = pagesSpanned(address, length);
    if (irp) {
        if (!secondary) {
            irp->MdlAddress = mdl;
        } else {
            Mdl* last = irp->MdlAddress;
            while (last && last->Next) last = last->Next;
            if (last) last->Next = mdl; else irp->MdlAddress = mdl;
        }
    }
    return mdl;
}

void IoFreeMdl(Mdl* mdl) { delete mdl; }

void IoBuildPartialMdl(Mdl* source, Mdl* target, void* address, std::uint32_t length) {
    auto* begin = static_cast<std::byte*>(source->StartVa);
    auto* end = begin + source->ByteCount;
    auto* at = static_cast<std::byte*>(address);
    hostAssert(at >= begin && at <= end, "partial MDL starts outside its source");
    if (length == 0) length = static_cast<std::uint32_t>(end - at);
    hostAssert(at + length <= end, "partial MDL runs past its source");
    hostAssert(pagesSpanned(address, length) <= target->pages, "partial MDL larger than its MDL can describe");
    hostAssert(!target->mapped, "partial MDL rebuilt while still mapped");
    target->StartVa = address;
    target->ByteCount = length;
    target->partial = true;
    target->source = source;
}

void MmBuildMdlForNonPagedPool(Mdl*) {}
void MmPrepareMdlForReuse(Mdl* mdl) { mdl->mapped = false; }
void* MmGetMdlVirtualAddress(const Mdl* mdl) { return mdl->StartVa; }
std::uint32_t MmGetMdlByteCount(const Mdl* mdl) { return mdl->ByteCount; }

void* MmGetSystemAddressForMdlSafe(Mdl* mdl, MmPagePriority) {
    mdl->mapped = true;
    return mdl->StartVa;
}

struct WorkItem {
    DeviceObject* device = nullptr;
    std::atomic<bool> queued{false};
};

WorkItem* IoAllocateWorkItem(DeviceObject* device) {
    auto* item = new WorkItem;
    item->device = device;
    return item;
}

void IoFreeWorkItem(WorkItem* item) {
    hostAssert(!item->queued.load(), "work item freed while queued");
    delete item;
}

void IoQueueWorkItem(WorkItem* item, IoWorkItemRoutine routine, WorkQueueType, void* context) {
    hostAssert(!item->queued.exchange(true), "work item queued twice");
    DeviceObject* device = item->device;
    detail::referenceDevice(device);
    detail::workItemQueue().push([item, routine, context, device] {
        item->queued.store(false);
        routine(device, context);  // may free the item
        detail::dereferenceDevice(device);
    });
}

void drainWorkItems() { detail::workItemQueue().drain(); }

}  // namespace kernel
