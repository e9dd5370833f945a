#include "link_com.h"

#include "usb_enumeration.h"

CUsbLinkCom::~CUsbLinkCom() { close(); }

std::int32_t CUsbLinkCom::open(std::uint32_t index) {
    if (is_open()) close();
    const auto devices = qusb::devices();
    if (index >= devices.size()) return kComCannotOpen;
    std::shared_ptr<qusb::UsbDevice> device = devices[index];
    clear_rx();
    set_closing(false);
    if (!device->open([this](std::span<const std::uint8_t> chunk) { deliver_rx(chunk); })) return kComCannotOpen;
    const qusb::DeviceIdentity identity = device->identity();
    boost::shared_ptr<CUsbCypComInfo> info(new CUsbCypComInfo);
    info->description = identity.name;
    info->index = index;
    info->busy = 1;
    info->kind = CComInfo::KIND_BULK_USB;
    info->vendor_id = identity.vendorId;
    info->product_id = identity.productId;
    info->usb3 = is_usb3(identity.bcdUsb) ? 1 : 0;
    info->usb2 = info->usb3 ? 0 : 1;
    set_device_info(info);
    m_device = std::move(device);
    set_device_handle(m_device.get());
    return 0;
}

std::int32_t CUsbLinkCom::close() {
    if (!is_open()) return kComNotOpen;
    set_closing(true);
    m_device->close();  // no lock held: the device may be delivering a chunk right now
    set_device_handle(nullptr);
    m_device.reset();
    clear_rx();
    set_closing(false);
    return 0;
}

std::int32_t CUsbLinkCom::read(std::uint8_t*, std::uint32_t) {
    return is_open() ? kComNotImplemented : kComNotOpen;
}

std::int32_t CUsbLinkCom::write(const std::uint8_t* bytes, std::uint32_t count) {
    if (!is_open()) return kComNotOpen;
    return m_device->bulkOut(std::span(bytes, count)) ? 0 : kComBulkOutFailed;
}

std::int32_t CUsbLinkCom::purge_receive() {
    clear_rx();
    return 0;
}
