// An open board: the handle of a PCI or PC104 board device.
//
// A context copied by INIT_STORAGE shares the device with the starting thread's context, so the
// handle is held by shared ownership and closed once. After close() every request on a copy fails
// with the platform's invalid-handle error instead of reaching a handle value that the platform may
// since have given to another open.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "win32/windows.h"

namespace corvix {

enum BoardType : std::uint32_t { kBoardPci = 0, kBoardPc104 = 1, kBoardUsb = 2 };

class BoardDevice {
public:
    explicit BoardDevice(HANDLE handle) : handle_(handle) {}
    ~BoardDevice() { close(); }
    BoardDevice(const BoardDevice&) = delete;
    BoardDevice& operator=(const BoardDevice&) = delete;

    // INVALID_HANDLE_VALUE once closed. Another thread sharing the device may close it meanwhile.
    HANDLE handle() const { return handle_.load(); }
    bool isOpen() const { return handle() != INVALID_HANDLE_VALUE; }
    // Closes the handle; false when it was already closed or the platform refused.
    bool close() {
        const HANDLE handle = handle_.exchange(INVALID_HANDLE_VALUE);
        if (handle == INVALID_HANDLE_VALUE) return false;
        return CloseHandle(handle) != FALSE;
    }

private:
    std::atomic<HANDLE> handle_;
};

using BoardDevicePtr = std::shared_ptr<BoardDevice>;

}  // namespace corvix
