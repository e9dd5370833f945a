#include "usb/usb_devices.h"

#include <algorithm>
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

}  // namespace

void attach(std::shared_ptr<UsbDevice> device) {
    if (!device) return;
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    p.devices.push_back(std::move(device));
}

void detach(const UsbDevice* device) {
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    std::erase_if(p.devices, [&](const auto& d) { return d.get() == device; });
}

void detachAll() {
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    p.devices.clear();
}

std::vector<std::shared_ptr<UsbDevice>> devices() {
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    return p.devices;
}

}  // namespace qusb
