// Level, locks, events, pool accounting, work items and MDLs.
#include <memory>
#include <thread>

#include "fixtures.h"

namespace kt {
namespace {

TEST(Irql, SpinLocksRaiseToDispatchAndWaitingThereAsserts) {
    ThrowingAssertions asserting;
    SpinLock a, b;
    KeInitializeSpinLock(&a);
    KeInitializeSpinLock(&b);
    Event e;
    KeInitializeEvent(&e, NotificationEvent, false);
    Irql old;
    KeAcquireSpinLock(&a, &old);
    EXPECT_EQ(KeGetCurrentIrql(), DISPATCH_LEVEL);
    EXPECT_EQ(heldSpinLocks(), 1);
    EXPECT_THROW(KeWaitForSingleObject(&e, Executive, KernelMode, false, nullptr), HostAssertion);
    EXPECT_THROW(KeAcquireSpinLock(&b, &old), HostAssertion) << "a second spin lock";
    EXPECT_THROW(ExAllocatePoolWithTag(PagedPool, 8, makeTag("Test")), HostAssertion);
    KeReleaseSpinLock(&a, PASSIVE_LEVEL);
    EXPECT_EQ(KeGetCurrentIrql(), PASSIVE_LEVEL);
    EXPECT_EQ(heldSpinLocks(), 0);
}

TEST(Events, NotificationStaysSetAndSynchronizationResets) {
    Event n, s;
    KeInitializeEvent(&n, NotificationEvent, false);
    KeInitializeEvent(&s, SynchronizationEvent, false);
    std::int64_t now = 0;
    EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, false, &now), STATUS_TIMEOUT);
    KeSetEvent(&n, 0, false);
    KeSetEvent(&s, 0, false);
    EXPECT_EQ(KeWaitForSingleObject(&n, Executive, KernelMode, false, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&n), 1);
    EXPECT_EQ(KeWaitForSingleObject(&s, Executive, KernelMode, false, nullptr), STATUS_SUCCESS);
    EXPECT_EQ(KeReadStateEvent(&s), 0);

    Event across;
    KeInitializeEvent(&across, NotificationEvent, false);
    std::thread setter([&] { KeSetEvent(&across, 0, false); });
    EXPECT_EQ(KeWaitForSingleObject(&across, Executive, KernelMode, false, nullptr), STATUS_SUCCESS);
    setter.join();
}

TEST(Interlocked, OperationsReturnTheDocumentedValues) {
    std::int32_t v = 1;
    EXPECT_EQ(InterlockedIncrement(&v), 2);
    EXPECT_EQ(InterlockedDecrement(&v), 1);
    EXPECT_EQ(InterlockedExchange(&v, 7), 1);
    EXPECT_EQ(InterlockedCompareExchange(&v, 9, 7), 7);
    EXPECT_EQ(v, 9);
    int x = 0;
    void* p = &x;
    EXPECT_EQ(InterlockedExchangePointer(&p, nullptr), &x);
    EXPECT_EQ(p, nullptr);
}

TEST(Pool, AccountsOutstandingBlocksPerTag) {
    const auto tag = makeTag("Tst1");
    auto before = pool::usage(tag);
    void* a = ExAllocatePoolWithTag(NonPagedPoolNx, 100, tag);
    void* b = ExAllocatePoolWithTag(NonPagedPool, 28, tag);
    auto during = pool::usage(tag);
    EXPECT_EQ(during.allocations - before.allocations, 2u);
    EXPECT_EQ(during.bytes - before.bytes, 128u);
    ExFreePoolWithTag(a, tag);
    auto after = pool::usage(tag);
    EXPECT_EQ(after.allocations - before.allocations, 1u);
    bool reported = false;
    for (auto& u : pool::report()) reported |= u.tag == tag && u.bytes == 28;
    EXPECT_TRUE(reported);
    ExFreePool(b);
    EXPECT_EQ(pool::usage(tag).allocations, before.allocations);
}

TEST(Pool, PlannedFailuresAndWrongTagsShow) {
    ThrowingAssertions asserting;
    const auto tag = makeTag("Tst2");
    pool::failAllocations(tag, 1, 1);
    void* first = ExAllocatePoolWithTag(NonPagedPool, 4, tag);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(ExAllocatePoolWithTag(NonPagedPool, 4, tag), nullptr);
    void* third = ExAllocatePoolWithTag(NonPagedPool, 4, tag);
    EXPECT_NE(third, nullptr);
    EXPECT_THROW(ExFreePoolWithTag(first, makeTag("Othr")), HostAssertion);
    ExFreePool(first);
    ExFreePool(third);
}

Status nop(DriverObject*, const UnicodeString*) { return STATUS_SUCCESS; }

TEST(WorkItems, RunAtPassiveLevelOnTheWorkerAndDrain) {
    DriverObject* driver = loadDriver("worker", nop);
    DeviceObject* device = nullptr;
    IoCreateDevice(driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, false, &device);
    struct Seen {
        Irql level = DISPATCH_LEVEL;
        std::thread::id thread;
        WorkItem* item = nullptr;
    } seen;
    seen.item = IoAllocateWorkItem(device);
    {
        IrqlScope dispatch(DISPATCH_LEVEL);  // queued from a completion routine
        IoQueueWorkItem(seen.item, [](DeviceObject*, void* context) {
            auto* s = static_cast<Seen*>(context);
            s->level = KeGetCurrentIrql();
            s->thread = std::this_thread::get_id();
            IoFreeWorkItem(s->item);  // a routine may free its own item
        }, DelayedWorkQueue, &seen);
    }
    drainWorkItems();
    EXPECT_EQ(seen.level, PASSIVE_LEVEL);
    EXPECT_NE(seen.thread, std::this_thread::get_id());
    IoDeleteDevice(device);
    unloadDriver(driver);
}

// A work item that waits for a later one does not hold it up: the queue has several
// workers, as a power-down waits for the pipe resets of the transfers it ended.
TEST(WorkItems, AnItemThatWaitsDoesNotHoldUpTheOnesBehindIt) {
    DriverObject* driver = loadDriver("waiting", nop);
    DeviceObject* device = nullptr;
    IoCreateDevice(driver, 0, nullptr, FILE_DEVICE_UNKNOWN, 0, false, &device);
    struct Shared {
        Event released;
        WorkItem* waiter = nullptr;
        WorkItem* releaser = nullptr;
        bool waited = false;
    } shared;
    KeInitializeEvent(&shared.released, NotificationEvent, false);
    shared.waiter = IoAllocateWorkItem(device);
    shared.releaser = IoAllocateWorkItem(device);
    IoQueueWorkItem(shared.waiter, [](DeviceObject*, void* context) {
        auto* s = static_cast<Shared*>(context);
        KeWaitForSingleObject(&s->released, Executive, KernelMode, false, nullptr);
        s->waited = true;
    }, DelayedWorkQueue, &shared);
    IoQueueWorkItem(shared.releaser, [](DeviceObject*, void* context) {
        KeSetEvent(&static_cast<Shared*>(context)->released, 0, false);
    }, DelayedWorkQueue, &shared);
    drainWorkItems();
    EXPECT_TRUE(shared.waited);
    IoFreeWorkItem(shared.waiter);
    IoFreeWorkItem(shared.releaser);
    IoDeleteDevice(device);
    unloadDriver(driver);
}

TEST(Mdls, PartialMdlsStayInsideTheirSourceAndAreUnmappedBeforeReuse) {
    ThrowingAssertions asserting;
    struct alignas(PAGE_SIZE) Pages {
        std::uint8_t bytes[3 * PAGE_SIZE];
        std::uint8_t* data() { return bytes; }
        std::size_t size() const { return sizeof bytes; }
    };
    auto pages = std::make_unique<Pages>();
    Pages& buffer = *pages;
    Mdl* whole = IoAllocateMdl(buffer.data(), static_cast<std::uint32_t>(buffer.size()), false, false, nullptr);
    Mdl* part = IoAllocateMdl(buffer.data(), static_cast<std::uint32_t>(buffer.size()), false, false, nullptr);
    IoBuildPartialMdl(whole, part, buffer.data() + 100, 64);
    EXPECT_EQ(MmGetMdlVirtualAddress(part), buffer.data() + 100);
    EXPECT_EQ(MmGetMdlByteCount(part), 64u);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(part, NormalPagePriority), buffer.data() + 100);
    EXPECT_THROW(IoBuildPartialMdl(whole, part, buffer.data() + 164, 64), HostAssertion) << "still mapped";
    MmPrepareMdlForReuse(part);
    IoBuildPartialMdl(whole, part, buffer.data() + 164, 0);
    EXPECT_EQ(MmGetMdlByteCount(part), buffer.size() - 164) << "0 means the rest of the source";
    MmPrepareMdlForReuse(part);
    EXPECT_THROW(IoBuildPartialMdl(whole, part, buffer.data() + buffer.size() - 10, 64), HostAssertion);
    Mdl* small = IoAllocateMdl(buffer.data(), 64, false, false, nullptr);
    EXPECT_THROW(IoBuildPartialMdl(whole, small, buffer.data() + PAGE_SIZE - 8, 64), HostAssertion)
        << "spans two pages, room for one";
    IoFreeMdl(small);
    IoFreeMdl(part);
    IoFreeMdl(whole);
}

}  // namespace
}  // namespace kt
