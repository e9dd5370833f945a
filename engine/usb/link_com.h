// CUsbLinkCom: the transport to a USB board attached to this machine in-process (platform/usb),
// without a USB device driver in between. Bulk OUT is a call into the device; the device's bulk IN
// chunks arrive through the receiver given at open, on the device's thread, and go straight into
// the receive buffer.
#pragma once

#include <memory>

#include "abstract_com.h"
#include "usb/usb_devices.h"

// Codes shared with the bulk USB transport.
inline constexpr std::int32_t kComBulkOutFailed = 0x30103002;
inline constexpr std::int32_t kComCannotOpen = 0x30103003;

class CUsbLinkCom : public CAbstractCom {
public:
    CUsbLinkCom() = default;
    ~CUsbLinkCom() override;

    std::int32_t init() override { return 0; }
    // The index-th attached device; kComCannotOpen when there is none or another host holds it.
    std::int32_t open(std::uint32_t index) override;
    std::int32_t close() override;
    // The link has no synchronous read: every byte goes through the receive buffer.
    std::int32_t read(std::uint8_t*, std::uint32_t) override;
    std::int32_t write(const std::uint8_t* bytes, std::uint32_t count) override;
    std::int32_t purge_transmit() override { return 0; }
    std::int32_t purge_receive() override;

private:
    std::shared_ptr<qusb::UsbDevice> m_device;  // set while open; only the request thread changes it
};
