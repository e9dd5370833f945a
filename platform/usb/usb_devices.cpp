#include "usb/usb_devices.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <string>

#include "base/file_lock.h"
#include "base/machine_root.h"

namespace qusb {
namespace {

// A device as the machine's processes share it: a host's open also locks "holds/USB.<n>" in the
// machine root (n the device's attach number, the same in every process that boots the machine), so
// that an open in another process is refused as a second open in this one is, and the board shows
// as open there. The system drops the lock when the process ends, a crash included. A machine root
// that cannot take the file leaves the open to this process alone.
class MachineHeldDevice final : public UsbDevice {
public:
    MachineHeldDevice(std::shared_ptr<UsbDevice> inner, std::size_t number)
        : inner_(std::move(inner)),
          holdFile_(qbase::machineRoot() / "holds" / ("USB." + std::to_string(number))) {}

    const UsbDevice* inner() const { return inner_.get(); }

    DeviceIdentity identity() const override { return inner_->identity(); }
    DescriptorSet descriptors() const override { return inner_->descriptors(); }
    bool open(Receiver receiver) override {
        std::lock_guard lock(mutex_);
        bool conflict = false;
        qbase::FileLock hold = qbase::FileLock::tryTake(holdFile_, qbase::FileLock::Kind::exclusive, &conflict);
        if (conflict || !inner_->open(std::move(receiver))) return false;
        hold_ = std::move(hold);
        return true;
    }
    void close() override {
        inner_->close();
        std::lock_guard lock(mutex_);
        hold_.release();
    }
    bool isOpen() const override { return inner_->isOpen() || qbase::FileLock::isHeld(holdFile_); }
    bool bulkOut(std::span<const std::uint8_t> bytes) override { return inner_->bulkOut(bytes); }

private:
    std::shared_ptr<UsbDevice> inner_;
    std::filesystem::path holdFile_;
    std::mutex mutex_;
    qbase::FileLock hold_;
};

// Process-wide: the machine's USB ports, owned here under one lock.
struct Ports {
    std::mutex mutex;
    std::vector<std::shared_ptr<MachineHeldDevice>> devices;
    std::size_t attached = 0;  // attach numbers given so far
};

Ports& ports() {
    static Ports* p = new Ports;  // outlives static destruction: a transport may close late
    return *p;
}

std::atomic<PortListener> listener{nullptr};

}  // namespace

void setPortListener(PortListener l) { listener.store(l); }

void attach(std::shared_ptr<UsbDevice> device) {
    if (!device) return;
    Ports& p = ports();
    std::shared_ptr<MachineHeldDevice> held;
    std::size_t index = 0;
    {
        std::lock_guard lock(p.mutex);
        index = p.devices.size();
        held = std::make_shared<MachineHeldDevice>(std::move(device), p.attached++);
        p.devices.push_back(held);
    }
    if (const PortListener l = listener.load()) l(*held, index, true);
}

void detach(const UsbDevice* device) {
    Ports& p = ports();
    std::shared_ptr<UsbDevice> gone;  // kept alive until the listener has heard of it
    std::size_t index = 0;
    {
        std::lock_guard lock(p.mutex);
        const auto it = std::find_if(p.devices.begin(), p.devices.end(),
                                     [&](const auto& d) { return d.get() == device || d->inner() == device; });
        if (it == p.devices.end()) return;
        index = static_cast<std::size_t>(it - p.devices.begin());
        gone = std::move(*it);
        p.devices.erase(it);
    }
    if (const PortListener l = listener.load()) l(*gone, index, false);
}

void detachAll() {
    Ports& p = ports();
    std::vector<std::shared_ptr<MachineHeldDevice>> gone;
    {
        std::lock_guard lock(p.mutex);
        gone.swap(p.devices);
        p.attached = 0;  // the next machine numbers its devices afresh
    }
    // Each leaves from the front of the list, as one detach after the other would.
    if (const PortListener l = listener.load())
        for (const auto& device : gone) l(*device, 0, false);
}

std::vector<std::shared_ptr<UsbDevice>> devices() {
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    return {p.devices.begin(), p.devices.end()};
}

}  // namespace qusb
