#include "win32/device_provider.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace qwin32 {
namespace {

struct Providers {
    std::mutex mutex;
    std::vector<DeviceProvider*> list;
};

Providers& providers() {
    static Providers& p = *new Providers;  // never destroyed: handles may close during exit
    return p;
}

}  // namespace

void registerDeviceProvider(DeviceProvider* provider) {
    Providers& p = providers();
    std::lock_guard lock(p.mutex);
    if (provider && std::find(p.list.begin(), p.list.end(), provider) == p.list.end()) p.list.push_back(provider);
}

std::vector<DeviceProvider*> deviceProviders() {
    Providers& p = providers();
    std::lock_guard lock(p.mutex);
    return p.list;
}

void startOverlapped(OVERLAPPED* overlapped) {
    overlapped->InternalHigh = 0;
    std::atomic_ref(overlapped->Internal).store(kStatusPending, std::memory_order_release);
}

void completeOverlapped(OVERLAPPED* overlapped, DWORD error, DWORD bytes) {
    const HANDLE event = overlapped->hEvent;  // the caller may reuse the record once it sees the end
    overlapped->InternalHigh = bytes;
    std::atomic_ref(overlapped->Internal).store(error, std::memory_order_release);
    if (event) SetEvent(event);
}

}  // namespace qwin32

using namespace qwin32;

BOOL HasOverlappedIoCompleted(const OVERLAPPED* overlapped) {
    return std::atomic_ref(const_cast<ULONG_PTR&>(overlapped->Internal)).load(std::memory_order_acquire) !=
                   kStatusPending
               ? TRUE
               : FALSE;
}

BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, LPDWORD transferred, BOOL wait) {
    if (transferred) *transferred = 0;
    if (!overlapped) return failWith(ERROR_INVALID_PARAMETER);
    if (!findHandleAs<ProvidedDevice>(file)) return failWith(ERROR_INVALID_HANDLE);
    ULONG_PTR state = std::atomic_ref(overlapped->Internal).load(std::memory_order_acquire);
    if (state == kStatusPending) {
        if (!wait || !overlapped->hEvent) return failWith(ERROR_IO_INCOMPLETE);
        while ((state = std::atomic_ref(overlapped->Internal).load(std::memory_order_acquire)) == kStatusPending)
            if (WaitForSingleObject(overlapped->hEvent, INFINITE) != WAIT_OBJECT_0) return failWith(ERROR_INVALID_HANDLE);
    }
    if (transferred) *transferred = static_cast<DWORD>(overlapped->InternalHigh);
    if (state != ERROR_SUCCESS) return failWith(static_cast<DWORD>(state));
    SetLastError(ERROR_SUCCESS);
    return TRUE;
}
