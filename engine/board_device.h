// An open board: the handle of a PCI or PC104 board device, or the USB board object of a USB board.
//
// A context copied by INIT_STORAGE shares the device with the starting thread's context, so the
// device is held by shared ownership and closed once. After close() every request on a copy fails
// with a code (the platform's invalid-handle error, or the USB layer's closed-transport code)
// instead of reaching a handle value that the platform may since have given to another open, or
// a USB board object that is gone: the object is closed at once and deleted with the last holder.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "usb/usb_board.h"
#include "win32/windows.h"

namespace corvix {

enum BoardType : std::uint32_t { kBoardPci = 0, kBoardPc104 = 1, kBoardUsb = 2 };

class BoardDevice {
public:
    explicit BoardDevice(HANDLE handle) : handle_(handle) {}
    // Takes the open USB board object.
    explicit BoardDevice(CDavAzuv* usb) : handle_(INVALID_HANDLE_VALUE), usb_(usb), usbOpen_(usb != nullptr) {}
    ~BoardDevice() {
        close();
        delete_usb_board(usb_);
    }
    BoardDevice(const BoardDevice&) = delete;
    BoardDevice& operator=(const BoardDevice&) = delete;

    // INVALID_HANDLE_VALUE once closed, and for a USB board. Another thread sharing the device may
    // close it meanwhile.
    HANDLE handle() const { return handle_.load(); }
    bool isUsb() const { return usb_ != nullptr; }
    // The USB board object (null for other boards); closed, not gone, after close().
    CDavAzuv* usb() const { return usb_; }
    bool isOpen() const { return usb_ ? usbOpen_.load() : handle() != INVALID_HANDLE_VALUE; }
    // Closes the handle or the USB board; false when it was already closed or the platform refused.
    bool close() {
        if (usb_) {
            if (!usbOpen_.exchange(false)) return false;
            usb_board_close(usb_);
            return true;
        }
        const HANDLE handle = handle_.exchange(INVALID_HANDLE_VALUE);
        if (handle == INVALID_HANDLE_VALUE) return false;
        return CloseHandle(handle) != FALSE;
    }

private:
    std::atomic<HANDLE> handle_;
    CDavAzuv* usb_ = nullptr;
    std::atomic<bool> usbOpen_{false};
};

using BoardDevicePtr = std::shared_ptr<BoardDevice>;

}  // namespace corvix
