// Work items: routines that a driver defers to a system worker thread, at PASSIVE_LEVEL.
//
// The pool starts a worker whenever an item is queued and no worker is idle, so that an item that
// waits for another item (a power transition waiting for a request to finish) cannot stall it.
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "kernel_internal.h"

struct IO_WORKITEM {
    PDEVICE_OBJECT device;
    PIO_WORKITEM_ROUTINE routine;
    PVOID context;
    bool queued;
};

namespace qk::kernel {
namespace {

class WorkerPool {
public:
    ~WorkerPool() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        for (std::thread& t : workers_) t.join();
    }

    void queue(PIO_WORKITEM item) {
        std::lock_guard lock(mutex_);
        items_.push_back(item);
        if (idle_ == 0) {
            workers_.emplace_back([this] { run(); });
        } else {
            wake_.notify_one();
        }
    }

    void drain() {
        std::unique_lock lock(mutex_);
        drained_.wait(lock, [this] { return items_.empty() && running_ == 0; });
    }

private:
    void run() {
        std::unique_lock lock(mutex_);
        for (;;) {
            ++idle_;
            wake_.wait(lock, [this] { return stopping_ || !items_.empty(); });
            --idle_;
            if (items_.empty()) return;  // stopping
            PIO_WORKITEM item = items_.front();
            items_.pop_front();
            ++running_;
            item->queued = false;
            const PIO_WORKITEM_ROUTINE routine = item->routine;
            PDEVICE_OBJECT device = item->device;
            PVOID context = item->context;
            lock.unlock();
            {
                PassiveScope passive;
                routine(device, context);  // the routine may free its item
            }
            lock.lock();
            --running_;
            if (items_.empty() && running_ == 0) drained_.notify_all();
        }
    }

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable drained_;
    std::deque<PIO_WORKITEM> items_;
    std::vector<std::thread> workers_;
    int idle_ = 0;
    int running_ = 0;
    bool stopping_ = false;
};

WorkerPool& pool() {
    // Never destroyed, as the kernel's other state: a handle closed at process end may still queue work.
    static WorkerPool& instance = *new WorkerPool;
    return instance;
}

}  // namespace

void drainWorkItems() { pool().drain(); }

}  // namespace qk::kernel

PIO_WORKITEM IoAllocateWorkItem(PDEVICE_OBJECT deviceObject) {
    auto* item = new (std::nothrow) IO_WORKITEM{deviceObject, nullptr, nullptr, false};
    if (item != nullptr) qk::kernel::referenceDevice(deviceObject);
    return item;
}

void IoFreeWorkItem(PIO_WORKITEM item) {
    if (item->queued) qk::kernelAssertFailed("IoFreeWorkItem on a queued work item", __FILE__, __LINE__);
    qk::kernel::dereferenceDevice(item->device);
    delete item;
}

void IoQueueWorkItem(PIO_WORKITEM item, PIO_WORKITEM_ROUTINE routine, WORK_QUEUE_TYPE, PVOID context) {
    qk::requireIrqlAtMost(DISPATCH_LEVEL, __func__);
    if (item->queued) qk::kernelAssertFailed("IoQueueWorkItem on a work item already queued", __FILE__, __LINE__);
    item->routine = routine;
    item->context = context;
    item->queued = true;
    qk::kernel::pool().queue(item);
}
