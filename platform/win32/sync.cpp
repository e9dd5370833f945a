// Events and waits on the machine clock. All events share one lock, so that a wait on several
// events sees every change at once; each blocked wait parks on a condition variable of its own,
// registered with the events it waits on. SetEvent wakes only the waits registered with that
// event (none when nobody waits), and each re-checks its own events. Names are not shared between
// events: every CreateEvent makes a new one.
#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <limits>
#include <mutex>
#include <vector>

#include "base/clock.h"
#include "win32/handle_table.h"

namespace qwin32 {
namespace {

constexpr DWORD kMaximumWaitObjects = 64;

std::mutex& syncMutex() {
    static std::mutex& instance = *new std::mutex;  // never destroyed: waits may end during process exit
    return instance;
}

// A blocked wait. Shared, so that a SetEvent may wake it after unlocking while the wait has
// already returned.
struct Waiter {
    std::condition_variable wake;
};

class Event final : public KernelObject {
public:
    Event(bool manualReset, bool signaled) : manualReset(manualReset), signaled(signaled) {}
    bool closedAtProcessEnd() const override { return false; }
    const bool manualReset;
    // Guarded by the sync lock.
    bool signaled;
    std::vector<std::shared_ptr<Waiter>> waiters;

    // A satisfied wait takes the signal of an auto-reset event. Lock held.
    void consume() {
        if (!manualReset) signaled = false;
    }
};

std::uint64_t timeout100ns(DWORD milliseconds) {
    return milliseconds == INFINITE ? std::numeric_limits<std::uint64_t>::max() : std::uint64_t{milliseconds} * 10000;
}

BOOL setSignal(HANDLE handle, bool signaled) {
    const auto event = findHandleAs<Event>(handle);
    if (!event) return failWith(ERROR_INVALID_HANDLE);
    std::vector<std::shared_ptr<Waiter>> waking;
    {
        std::lock_guard lock(syncMutex());
        event->signaled = signaled;
        if (signaled) waking = event->waiters;
    }
    for (const auto& waiter : waking) waiter->wake.notify_one();
    return TRUE;
}

}  // namespace
}  // namespace qwin32

using namespace qwin32;

HANDLE CreateEventA(SECURITY_ATTRIBUTES*, BOOL manualReset, BOOL initialState, LPCSTR) {
    SetLastError(ERROR_SUCCESS);
    return addHandle(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
}

BOOL SetEvent(HANDLE event) { return setSignal(event, true); }

BOOL ResetEvent(HANDLE event) { return setSignal(event, false); }

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) { return WaitForMultipleObjects(1, &handle, FALSE, milliseconds); }

DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds) {
    if (count == 0 || count > kMaximumWaitObjects || !handles) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    std::vector<std::shared_ptr<Event>> events;
    for (DWORD i = 0; i < count; ++i) {
        events.push_back(findHandleAs<Event>(handles[i]));
        if (!events.back()) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    std::unique_lock lock(syncMutex());
    DWORD fired = 0;
    const auto ready = [&] {
        for (DWORD i = 0; i < count; ++i) {
            if (events[i]->signaled && !waitAll) {
                fired = i;
                return true;
            }
            if (!events[i]->signaled && waitAll) return false;
        }
        return static_cast<bool>(waitAll);
    };
    if (!ready()) {
        if (milliseconds == 0) return WAIT_TIMEOUT;
        const auto waiter = std::make_shared<Waiter>();
        for (const auto& event : events) event->waiters.push_back(waiter);
        const bool satisfied = qbase::waitFor(lock, waiter->wake, timeout100ns(milliseconds), ready);
        for (const auto& event : events) std::erase(event->waiters, waiter);
        if (!satisfied) return WAIT_TIMEOUT;
    }
    if (waitAll) {
        for (const auto& event : events) event->consume();
        return WAIT_OBJECT_0;
    }
    events[fired]->consume();
    return WAIT_OBJECT_0 + fired;
}

void Sleep(DWORD milliseconds) { qbase::sleep100ns(timeout100ns(milliseconds)); }

DWORD GetTickCount() { return qbase::tickCountMs(); }

// The pseudo-handle of the calling thread, as the platform gives it.
HANDLE GetCurrentThread() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-2)); }

BOOL SetThreadPriority(HANDLE, int priority) {
    if (priority < -15 || priority > 15) return failWith(ERROR_INVALID_PARAMETER);
    return TRUE;
}
