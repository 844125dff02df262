#pragma once
// Host-private records behind the public objects.
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "kernel/io.h"

namespace kernel::detail {

struct DeviceRecord {
    DeviceObject device;             // first, so that a DeviceObject* leads back here
    DeviceObject* attachedTo = nullptr;  // the device below, once attached
    int references = 0;              // open file objects on this device
    bool deleted = false;            // IoDeleteDevice came while references were open
    void* extension = nullptr;
    std::size_t extensionSize = 0;
};

DeviceRecord* record(DeviceObject* device);
std::mutex& objectMutex();  // guards stacks, driver device lists and references

// Takes or drops a reference on a device object. A device deleted while referenced is
// freed at its last dereference.
void referenceDevice(DeviceObject* device);
void freeRecord(DeviceRecord* record);
void dereferenceDevice(DeviceObject* device);

// The PnP manager tells the interface list when a device's start has completed, and
// when the device is removed: its enabled interfaces show only in between.
void interfacesStarted(DeviceObject* pdo);
void interfacesGone(DeviceObject* pdo);

// Threads that run queued jobs at passive level. With one thread the jobs run one at a
// time in order; with several, a job that waits does not hold up the ones behind it, as
// on the platform's delayed work queue.
class WorkQueue {
public:
    explicit WorkQueue(int threads = 1);
    ~WorkQueue();
    void push(std::function<void()> job);
    void drain();
    bool onWorker() const;

private:
    void run();
    std::mutex mutex_;
    std::condition_variable wake_, idle_;
    std::deque<std::function<void()>> jobs_;
    int busy_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

WorkQueue& workItemQueue();
WorkQueue& powerQueue();

}  // namespace kernel::detail
