#pragma once
// Events, spin locks and interlocked operations. They live inside device extensions and
// driver records, so each is a small object that the Ke* calls (re)initialise.
#include <atomic>
#include <cstdint>
#include <thread>

#include "kernel/irql.h"
#include "kernel/status.h"

namespace kernel {

enum EventType { NotificationEvent, SynchronizationEvent };

struct Event {
    std::atomic<std::int32_t> state{0};
    EventType type = NotificationEvent;
};

void KeInitializeEvent(Event* event, EventType type, bool signalled);
std::int32_t KeSetEvent(Event* event, std::int32_t increment, bool wait);
void KeClearEvent(Event* event);
std::int32_t KeReadStateEvent(Event* event);

enum WaitReason { Executive };
enum ProcessorMode { KernelMode, UserMode };

// Waits for an event. `timeout` in 100 ns units, negative = relative, as drivers pass
// it; null waits for ever. Waiting with a non-zero time-out above passive level asserts.
Status KeWaitForSingleObject(Event* event, WaitReason reason, ProcessorMode mode,
                             bool alertable, const std::int64_t* timeout);

struct SpinLock {
    std::atomic<bool> locked{false};
    std::atomic<std::thread::id> owner{};
};

void KeInitializeSpinLock(SpinLock* lock);
void KeAcquireSpinLock(SpinLock* lock, Irql* oldIrql);
void KeReleaseSpinLock(SpinLock* lock, Irql oldIrql);

// How many spin locks the calling thread holds. A driver here never holds two at once;
// the host asserts on a second acquire while this check is on (the default).
int heldSpinLocks();
void setSingleSpinLockRule(bool on);

std::int32_t InterlockedIncrement(std::int32_t* target);
std::int32_t InterlockedDecrement(std::int32_t* target);
std::int32_t InterlockedExchange(std::int32_t* target, std::int32_t value);
std::int32_t InterlockedCompareExchange(std::int32_t* target, std::int32_t exchange,
                                        std::int32_t comparand);
void* InterlockedExchangePointer(void** target, void* value);

}  // namespace kernel
