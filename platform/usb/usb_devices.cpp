#include "usb/usb_devices.h"

#include <algorithm>
#include <atomic>
#include <mutex>

namespace qusb {
namespace {

// Process-wide: the machine's USB ports, owned here under one lock.
struct Ports {
    std::mutex mutex;
    std::vector<std::shared_ptr<UsbDevice>> devices;
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
    std::size_t index = 0;
    {
        std::lock_guard lock(p.mutex);
        index = p.devices.size();
        p.devices.push_back(device);
    }
    if (const PortListener l = listener.load()) l(*device, index, true);
}

void detach(const UsbDevice* device) {
    Ports& p = ports();
    std::shared_ptr<UsbDevice> gone;  // kept alive until the listener has heard of it
    std::size_t index = 0;
    {
        std::lock_guard lock(p.mutex);
        const auto it = std::find_if(p.devices.begin(), p.devices.end(), [&](const auto& d) { return d.get() == device; });
        if (it == p.devices.end()) return;
        index = static_cast<std::size_t>(it - p.devices.begin());
        gone = std::move(*it);
        p.devices.erase(it);
    }
    if (const PortListener l = listener.load()) l(*gone, index, false);
}

void detachAll() {
    Ports& p = ports();
    std::vector<std::shared_ptr<UsbDevice>> gone;
    {
        std::lock_guard lock(p.mutex);
        gone.swap(p.devices);
    }
    // Each leaves from the front of the list, as one detach after the other would.
    if (const PortListener l = listener.load())
        for (const auto& device : gone) l(*device, 0, false);
}

std::vector<std::shared_ptr<UsbDevice>> devices() {
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    return p.devices;
}

}  // namespace qusb
