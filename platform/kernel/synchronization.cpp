// IRQL tracking, dispatcher objects (events, mutexes), fast mutexes, spin locks and the kernel's
// time calls.
//
// Events and mutexes are plain records that drivers keep in zeroed memory, so they hold no C++
// objects: waiters park on one of a few mutex/condition pairs chosen by the object's address, and
// every change of an object's state happens under its pair's mutex and wakes that pair's waiters.
// Timed waits go through the machine clock, so a virtual clock ends them at once.
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <thread>

#include "base/clock.h"
#include "kernel_internal.h"

namespace {

thread_local KIRQL currentIrql = PASSIVE_LEVEL;
thread_local char threadMarker;  // its address identifies the thread as a mutex owner

enum ObjectType : UCHAR { EventNotification = 0, EventSynchronization = 1, Mutant = 2 };

struct Parking {
    std::mutex mutex;
    std::condition_variable changed;
};
Parking& parkingFor(const void* object) {
    static Parking* const lots = new Parking[64];  // never destroyed, as the kernel's other state
    return lots[(reinterpret_cast<std::uintptr_t>(object) >> 4) % 64];
}

[[noreturn]] void stop(const std::string& message) {
    std::fprintf(stderr, "kernel stop: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

// Takes the object for the calling thread when it is signalled; the caller holds its parking mutex.
bool tryAcquire(DISPATCHER_HEADER* header) {
    switch (header->Type) {
    case EventNotification:
        return header->SignalState != 0;
    case EventSynchronization:
        if (header->SignalState == 0) return false;
        header->SignalState = 0;
        return true;
    case Mutant: {
        auto* mutex = reinterpret_cast<KMUTEX*>(header);
        PVOID owner = __atomic_load_n(&mutex->OwnerThread, __ATOMIC_RELAXED);
        if (owner != nullptr && owner != &threadMarker) return false;
        __atomic_store_n(&mutex->OwnerThread, static_cast<PVOID>(&threadMarker), __ATOMIC_RELAXED);
        ++mutex->Recursion;
        return true;
    }
    default:
        stop("wait on an object that is neither an initialised event nor a mutex");
    }
}

std::uint64_t timeoutFrom(const LARGE_INTEGER* timeout) {
    if (timeout == nullptr) return std::numeric_limits<std::uint64_t>::max();
    if (timeout->QuadPart <= 0) return static_cast<std::uint64_t>(-timeout->QuadPart);
    const std::uint64_t now = qbase::systemTime100ns();
    const auto deadline = static_cast<std::uint64_t>(timeout->QuadPart);
    return deadline > now ? deadline - now : 0;
}

void spinAcquire(PKSPIN_LOCK lock) {
    while (__atomic_exchange_n(lock, 1, __ATOMIC_ACQUIRE) != 0) std::this_thread::yield();
}

}  // namespace

namespace qk {

void requireIrqlAtMost(KIRQL maximum, const char* where) {
    if (currentIrql > maximum)
        stop(std::string(where) + " called at IRQL " + std::to_string(currentIrql) + ", above " +
             std::to_string(maximum));
}

void kernelAssertFailed(const char* expression, const char* file, int line) {
    stop(std::string("assertion failed: ") + expression + " (" + file + ":" + std::to_string(line) + ")");
}

namespace kernel {
PassiveScope::PassiveScope() : saved_(currentIrql) { currentIrql = PASSIVE_LEVEL; }
PassiveScope::~PassiveScope() { currentIrql = saved_; }
}  // namespace kernel

}  // namespace qk

// ---- IRQL

KIRQL KeGetCurrentIrql() { return currentIrql; }

void KeRaiseIrql(KIRQL newIrql, PKIRQL oldIrql) {
    if (newIrql < currentIrql) stop("KeRaiseIrql to a lower IRQL");
    *oldIrql = currentIrql;
    currentIrql = newIrql;
}

void KeLowerIrql(KIRQL newIrql) {
    if (newIrql > currentIrql) stop("KeLowerIrql to a higher IRQL");
    currentIrql = newIrql;
}

KIRQL KeRaiseIrqlToDpcLevel() {
    KIRQL old;
    KeRaiseIrql(DISPATCH_LEVEL, &old);
    return old;
}

// ---- events and mutexes

void KeInitializeEvent(PRKEVENT event, EVENT_TYPE type, BOOLEAN state) {
    Parking& p = parkingFor(event);
    std::lock_guard lock(p.mutex);
    event->Header.Type = type == NotificationEvent ? EventNotification : EventSynchronization;
    event->Header.SignalState = state ? 1 : 0;
}

LONG KeSetEvent(PRKEVENT event, KPRIORITY, BOOLEAN) {
    qk::requireIrqlAtMost(DISPATCH_LEVEL, __func__);
    Parking& p = parkingFor(event);
    std::lock_guard lock(p.mutex);
    const LONG previous = event->Header.SignalState;
    event->Header.SignalState = 1;
    // Notified under the mutex: a waiter that returns and frees the event cannot do so before
    // this call has stopped touching it.
    p.changed.notify_all();
    return previous;
}

void KeClearEvent(PRKEVENT event) { KeResetEvent(event); }

LONG KeResetEvent(PRKEVENT event) {
    Parking& p = parkingFor(event);
    std::lock_guard lock(p.mutex);
    const LONG previous = event->Header.SignalState;
    event->Header.SignalState = 0;
    return previous;
}

LONG KeReadStateEvent(PRKEVENT event) {
    Parking& p = parkingFor(event);
    std::lock_guard lock(p.mutex);
    return event->Header.SignalState;
}

void KeInitializeMutex(PRKMUTEX mutex, ULONG) {
    Parking& p = parkingFor(mutex);
    std::lock_guard lock(p.mutex);
    mutex->Header.Type = Mutant;
    mutex->Header.SignalState = 1;
    mutex->OwnerThread = nullptr;
    mutex->Recursion = 0;
}

LONG KeReleaseMutex(PRKMUTEX mutex, BOOLEAN) {
    Parking& p = parkingFor(mutex);
    std::lock_guard lock(p.mutex);
    if (mutex->OwnerThread != &threadMarker) stop("KeReleaseMutex by a thread that does not own the mutex");
    const LONG previous = mutex->Recursion;
    if (--mutex->Recursion == 0) {
        __atomic_store_n(&mutex->OwnerThread, static_cast<PVOID>(nullptr), __ATOMIC_RELAXED);
        p.changed.notify_all();
    }
    return previous;
}

NTSTATUS KeWaitForSingleObject(PVOID object, KWAIT_REASON, KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER timeout) {
    const std::uint64_t limit = timeoutFrom(timeout);
    if (limit != 0) qk::requireIrqlAtMost(APC_LEVEL, __func__);
    auto* header = static_cast<DISPATCHER_HEADER*>(object);
    Parking& p = parkingFor(object);
    std::unique_lock lock(p.mutex);
    bool acquired = false;  // the clock may ask more than once; take the object only once
    qbase::waitFor(lock, p.changed, limit, [&] { return acquired || (acquired = tryAcquire(header)); });
    return acquired ? STATUS_SUCCESS : STATUS_TIMEOUT;
}

// ---- fast mutexes

void ExInitializeFastMutex(PFAST_MUTEX mutex) {
    KeInitializeMutex(&mutex->Mutex, 0);
    mutex->OldIrql = 0;
}

void ExAcquireFastMutex(PFAST_MUTEX mutex) {
    qk::requireIrqlAtMost(APC_LEVEL, __func__);
    if (__atomic_load_n(&mutex->Mutex.OwnerThread, __ATOMIC_RELAXED) == &threadMarker) stop("ExAcquireFastMutex: the thread already holds it");
    KIRQL old;
    KeRaiseIrql(APC_LEVEL, &old);
    KeWaitForSingleObject(&mutex->Mutex, Executive, KernelMode, FALSE, nullptr);
    mutex->OldIrql = old;
}

BOOLEAN ExTryToAcquireFastMutex(PFAST_MUTEX mutex) {
    qk::requireIrqlAtMost(APC_LEVEL, __func__);
    if (__atomic_load_n(&mutex->Mutex.OwnerThread, __ATOMIC_RELAXED) == &threadMarker) return FALSE;
    LARGE_INTEGER now{};
    KIRQL old;
    KeRaiseIrql(APC_LEVEL, &old);
    if (KeWaitForSingleObject(&mutex->Mutex, Executive, KernelMode, FALSE, &now) != STATUS_SUCCESS) {
        KeLowerIrql(old);
        return FALSE;
    }
    mutex->OldIrql = old;
    return TRUE;
}

void ExReleaseFastMutex(PFAST_MUTEX mutex) {
    const auto old = static_cast<KIRQL>(mutex->OldIrql);
    KeReleaseMutex(&mutex->Mutex, FALSE);
    KeLowerIrql(old);
}

// ---- spin locks

void KeInitializeSpinLock(PKSPIN_LOCK lock) { __atomic_store_n(lock, 0, __ATOMIC_RELEASE); }

void KeAcquireSpinLock(PKSPIN_LOCK lock, PKIRQL oldIrql) {
    KeRaiseIrql(DISPATCH_LEVEL, oldIrql);
    spinAcquire(lock);
}

void KeReleaseSpinLock(PKSPIN_LOCK lock, KIRQL newIrql) {
    __atomic_store_n(lock, 0, __ATOMIC_RELEASE);
    KeLowerIrql(newIrql);
}

void KeAcquireSpinLockAtDpcLevel(PKSPIN_LOCK lock) {
    if (currentIrql < DISPATCH_LEVEL) stop("KeAcquireSpinLockAtDpcLevel below DISPATCH_LEVEL");
    spinAcquire(lock);
}

void KeReleaseSpinLockFromDpcLevel(PKSPIN_LOCK lock) { __atomic_store_n(lock, 0, __ATOMIC_RELEASE); }

// ---- time

void KeQuerySystemTime(PLARGE_INTEGER currentTime) {
    currentTime->QuadPart = static_cast<LONGLONG>(qbase::systemTime100ns());
}

void KeQueryTickCount(PLARGE_INTEGER tickCount) { tickCount->QuadPart = static_cast<LONGLONG>(qbase::kernelTickCount()); }

ULONG KeQueryTimeIncrement() { return qbase::timeIncrement100ns(); }

ULONGLONG KeQueryInterruptTime() { return qbase::systemTime100ns(); }

void KeStallExecutionProcessor(ULONG microseconds) { qbase::sleep100ns(std::uint64_t{microseconds} * 10); }

NTSTATUS KeDelayExecutionThread(KPROCESSOR_MODE, BOOLEAN, PLARGE_INTEGER interval) {
    qk::requireIrqlAtMost(APC_LEVEL, __func__);
    const std::uint64_t duration = timeoutFrom(interval);
    if (duration != std::numeric_limits<std::uint64_t>::max()) qbase::sleep100ns(duration);
    return STATUS_SUCCESS;
}
