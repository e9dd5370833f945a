// The USB devices plugged into the machine: the seam between the host's USB stack and the
// simulated machine (sim/), as qk::hw is for memory and port ranges.
//
// The machine attaches one UsbDevice per USB board, in its description's order; the host side (the
// USB device driver and D2XX stand-ins, and the in-process link transport) lists them and opens
// one by its position in the list. Every board is reached both ways: through the USB device
// driver's bulk endpoints and through the D2XX library. A device carries two byte pipes: bulk OUT (host to device), a call on the
// host's thread, and bulk IN (device to host), the receiver that the host handed to open().
//
// Contract of a UsbDevice (the simulated board implements it):
//   - open(receiver): one host at a time; false while another host holds the device. From then on
//     the device may call the receiver on any thread, also from inside bulkOut(), each call being
//     one chunk of the byte stream as the device sent it.
//   - close(): once it returns, the receiver is not called any more. Never called while the caller
//     holds a lock that the receiver takes.
//   - bulkOut(bytes): one transfer from the host, handled before the call returns (the device may
//     answer through the receiver meanwhile). false when the device is not open.
// The list itself is thread-safe; devices do their own locking.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace qusb {

// What the host reads from the device descriptor and the driver's name text.
struct DeviceIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t bcdUsb = 0x0200;
    std::string name;
};

// The descriptors a device answers GET_DESCRIPTOR with, as raw bytes: the device descriptor, each
// configuration descriptor with everything wTotalLength covers, the string descriptors by index
// (0 the languages) and the BOS descriptor (empty without one).
struct DescriptorSet {
    std::vector<std::uint8_t> device;
    std::vector<std::vector<std::uint8_t>> configurations;
    std::vector<std::vector<std::uint8_t>> strings;
    std::vector<std::uint8_t> bos;
};

// The descriptors of a USB FIP board with this identity: one configuration, one interface, bulk
// IN 0x81 and bulk OUT 0x01 (512-byte packets; 1024 with SuperSpeed companions and a BOS
// descriptor when bcdUSB is 0x0300 or above).
DescriptorSet standardDescriptors(const DeviceIdentity& identity);

using Receiver = std::function<void(std::span<const std::uint8_t>)>;

class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    virtual DeviceIdentity identity() const = 0;
    virtual DescriptorSet descriptors() const { return standardDescriptors(identity()); }
    virtual bool open(Receiver receiver) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool bulkOut(std::span<const std::uint8_t> bytes) = 0;
};

void attach(std::shared_ptr<UsbDevice> device);
void detach(const UsbDevice* device);
void detachAll();

// Told of every attach and detach (the driver announces them to the platform's device
// notifications): the device, its position in the list (before a detach), whether it arrived.
// Called after the list's lock is released, on the thread that attached or detached.
using PortListener = void (*)(const UsbDevice& device, std::size_t index, bool arrived);
void setPortListener(PortListener listener);
// The attached devices, in attach order.
std::vector<std::shared_ptr<UsbDevice>> devices();

}  // namespace qusb
