#include <cstdio>
#include <cstdlib>
#include <condition_variable>
#include <mutex>

#include "kernel/irql.h"
#include "kernel/sync.h"

namespace kernel {
namespace {

thread_local Irql currentIrql = PASSIVE_LEVEL;
thread_local int spinLocksHeld = 0;
std::atomic<bool> singleSpinLockRule{true};

std::mutex& handlerMutex() {
    static std::mutex m;
    return m;
}
AssertionHandler& handler() {
    static AssertionHandler h;
    return h;
}

// Events wait on striped host locks rather than on the event itself, so that a waiter
// may free its event as soon as it wakes: the setter is done with it by then.
struct Stripe {
    std::mutex mutex;
    std::condition_variable changed;
};

Stripe& stripeOf(const void* address) {
    static Stripe stripes[64];
    return stripes[(reinterpret_cast<std::uintptr_t>(address) >> 4) % 64];
}

}  // namespace

Irql KeGetCurrentIrql() { return currentIrql; }

void KeRaiseIrql(Irql newIrql, Irql* oldIrql) {
    hostAssert(newIrql >= currentIrql, "KeRaiseIrql to a lower level");
    if (oldIrql) *oldIrql = currentIrql;
    currentIrql = newIrql;
}

void KeLowerIrql(Irql newIrql) {
    hostAssert(newIrql <= currentIrql, "KeLowerIrql to a higher level");
    currentIrql = newIrql;
}

AssertionHandler setAssertionHandler(AssertionHandler h) {
    std::lock_guard lock(handlerMutex());
    std::swap(handler(), h);
    return h;
}

void assertionFailed(const std::string& message) {
    AssertionHandler h;
    {
        std::lock_guard lock(handlerMutex());
        h = handler();
    }
    if (h) {
        h(message);
        return;
    }
    std::fprintf(stderr, "kernel host: %s\n", message.c_str());
    std::abort();
}

void KeInitializeEvent(Event* event, EventType type, bool signalled) {
    event->type = type;
    event->state.store(signalled ? 1 : 0);
}

std::int32_t KeSetEvent(Event* event, std::int32_t, bool) {
    Stripe& s = stripeOf(event);
    std::lock_guard lock(s.mutex);
    std::int32_t previous = event->state.exchange(1);
    s.changed.notify_all();
    return previous;
}

void KeClearEvent(Event* event) {
    Stripe& s = stripeOf(event);
    std::lock_guard lock(s.mutex);
    event->state.store(0);
}

std::int32_t KeReadStateEvent(Event* event) { return event->state.load(); }

Status KeWaitForSingleObject(Event* event, WaitReason, ProcessorMode, bool,
                             const std::int64_t* timeout) {
    bool zeroTimeout = timeout && *timeout == 0;
    if (!zeroTimeout) hostAssert(currentIrql < DISPATCH_LEVEL, "wait at dispatch level");
    // No driver here waits with a time-out; a bounded wait belongs to user mode.
    hostAssert(timeout == nullptr || zeroTimeout, "timed wait in a driver");
    Stripe& s = stripeOf(event);
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (event->state.load() != 0) {
            if (event->type == SynchronizationEvent) event->state.store(0);
            return STATUS_SUCCESS;
        }
        if (zeroTimeout) return STATUS_TIMEOUT;
        s.changed.wait(lock);
    }
}

void KeInitializeSpinLock(SpinLock* lock) {
    lock->locked.store(false);
    lock->owner.store(std::thread::id{});
}

void KeAcquireSpinLock(SpinLock* lock, Irql* oldIrql) {
    hostAssert(lock->owner.load() != std::this_thread::get_id(),
               "spin lock acquired twice by one thread");
    if (singleSpinLockRule.load())
        hostAssert(spinLocksHeld == 0, "a second spin lock acquired while one is held");
    KeRaiseIrql(DISPATCH_LEVEL, oldIrql);
    while (lock->locked.exchange(true, std::memory_order_acquire)) {
        while (lock->locked.load(std::memory_order_relaxed)) std::this_thread::yield();
    }
    lock->owner.store(std::this_thread::get_id());
    ++spinLocksHeld;
}

void KeReleaseSpinLock(SpinLock* lock, Irql oldIrql) {
    hostAssert(lock->owner.load() == std::this_thread::get_id(),
               "spin lock released by a thread that does not hold it");
    lock->owner.store(std::thread::id{});
    lock->locked.store(false, std::memory_order_release);
    --spinLocksHeld;
    KeLowerIrql(oldIrql);
}

int heldSpinLocks() { return spinLocksHeld; }
void setSingleSpinLockRule(bool on) { singleSpinLockRule.store(on); }

std::int32_t InterlockedIncrement(std::int32_t* target) {
    return std::atomic_ref<std::int32_t>(*target).fetch_add(1) + 1;
}
std::int32_t InterlockedDecrement(std::int32_t* target) {
    return std::atomic_ref<std::int32_t>(*target).fetch_sub(1) - 1;
}
std::int32_t InterlockedExchange(std::int32_t* target, std::int32_t value) {
    return std::atomic_ref<std::int32_t>(*target).exchange(value);
}
std::int32_t InterlockedCompareExchange(std::int32_t* target, std::int32_t exchange,
                                        std::int32_t comparand) {
    std::atomic_ref<std::int32_t>(*target).compare_exchange_strong(comparand, exchange);
    return comparand;
}
void* InterlockedExchangePointer(void** target, void* value) {
    return std::atomic_ref<void*>(*target).exchange(value);
}

}  // namespace kernel
