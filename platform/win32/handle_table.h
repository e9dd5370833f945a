// The process's handle table: every handle the stand-in hands out (files, devices, events, registry
// keys, device-information sets) names one object here. Objects are shared: a call in flight on a
// handle keeps its object alive when another thread closes the handle meanwhile, so a device is
// closed only once its last request has returned. Thread-safe: one lock guards the table.
#pragma once

#include <memory>

#include "win32/windows.h"

namespace qwin32 {

class KernelObject {
public:
    virtual ~KernelObject() = default;
    // Registry keys and device-information sets have their own close calls.
    virtual bool closedByCloseHandle() const { return true; }
    // Whether the process's end closes it. On the platform every other thread has ended before the
    // handles close; here they still run, so an object whose close matters only inside the process
    // (an event) stays open for the threads that still wait on it.
    virtual bool closedAtProcessEnd() const { return true; }
};

HANDLE addHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> findHandle(HANDLE handle);
// Removes the handle when `accepts` takes its object (under the table's lock, so that two closes
// of one handle cannot both succeed); returns the removed object or null.
std::shared_ptr<KernelObject> removeHandle(HANDLE handle, bool (*accepts)(const KernelObject&));

template <class T>
std::shared_ptr<T> findHandleAs(HANDLE handle) {
    return std::dynamic_pointer_cast<T>(findHandle(handle));
}

template <class T>
std::shared_ptr<T> removeHandleAs(HANDLE handle) {
    return std::static_pointer_cast<T>(
        removeHandle(handle, [](const KernelObject& o) { return dynamic_cast<const T*>(&o) != nullptr; }));
}

// Sets the calling thread's last error and returns FALSE, the failure shape of most calls.
inline BOOL failWith(DWORD error) {
    SetLastError(error);
    return FALSE;
}

}  // namespace qwin32
