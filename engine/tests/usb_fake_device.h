// A USB device for the transport tests: it records what the host sends, streams what the test
// pushes, and answers GET_DESCRIPTOR with the standard set of its identity or a set of the test's.
#pragma once

#include <mutex>
#include <optional>
#include <vector>

#include "usb/usb_devices.h"

namespace corvix::testing {

class FakeUsbDevice final : public qusb::UsbDevice {
public:
    explicit FakeUsbDevice(qusb::DeviceIdentity id, std::optional<qusb::DescriptorSet> set = {})
        : id_(std::move(id)), set_(std::move(set)) {}

    qusb::DeviceIdentity identity() const override { return id_; }
    qusb::DescriptorSet descriptors() const override { return set_ ? *set_ : qusb::standardDescriptors(id_); }
    bool open(qusb::Receiver receiver) override {
        std::lock_guard lock(mutex_);
        if (receiver_) return false;
        receiver_ = std::move(receiver);
        return true;
    }
    void close() override {
        std::lock_guard lock(mutex_);
        receiver_ = nullptr;
    }
    bool isOpen() const override {
        std::lock_guard lock(mutex_);
        return static_cast<bool>(receiver_);
    }
    bool bulkOut(std::span<const std::uint8_t> bytes) override {
        std::lock_guard lock(mutex_);
        if (!receiver_) return false;
        received_.insert(received_.end(), bytes.begin(), bytes.end());
        if (echo_) receiver_(bytes);
        return true;
    }
    // Sends bytes to the host when a host holds the device; false when none does.
    bool push(std::span<const std::uint8_t> bytes) {
        std::lock_guard lock(mutex_);
        if (!receiver_) return false;
        receiver_(bytes);
        return true;
    }
    void setEcho(bool echo) {
        std::lock_guard lock(mutex_);
        echo_ = echo;
    }
    std::vector<std::uint8_t> received() const {
        std::lock_guard lock(mutex_);
        return received_;
    }
    void clearReceived() {
        std::lock_guard lock(mutex_);
        received_.clear();
    }

private:
    const qusb::DeviceIdentity id_;
    const std::optional<qusb::DescriptorSet> set_;
    mutable std::mutex mutex_;
    qusb::Receiver receiver_;
    std::vector<std::uint8_t> received_;
    bool echo_ = false;
};

inline qusb::DeviceIdentity boardIdentity(std::uint16_t bcdUsb = 0x0200) {
    return {0x04B4, 0x5701, bcdUsb, "USB FIP board"};
}

}  // namespace corvix::testing
