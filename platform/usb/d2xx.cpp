#include "usb/d2xx.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <utility>

#include "usb/usb_devices.h"

namespace qd2xx {
namespace {

constexpr std::size_t kMaxWaiting = 4u << 20;

// One open device: the bytes it sent that nobody read yet, and the event to set when more come.
struct Port {
    std::shared_ptr<qusb::UsbDevice> device;
    std::mutex mutex;
    std::deque<std::uint8_t> waiting;
    HANDLE event = nullptr;

    void deliver(std::span<const std::uint8_t> chunk) {
        HANDLE toSet = nullptr;
        {
            std::lock_guard lock(mutex);
            if (waiting.size() + chunk.size() > kMaxWaiting) return;
            waiting.insert(waiting.end(), chunk.begin(), chunk.end());
            toSet = event;
        }
        if (toSet) SetEvent(toSet);
    }
};

// Process-wide: the open handles, one lock.
struct Ports {
    std::mutex mutex;
    std::map<std::uintptr_t, std::shared_ptr<Port>> open;
    std::uintptr_t next = 0x1000;
};

Ports& ports() {
    static Ports& p = *new Ports;
    return p;
}

std::shared_ptr<Port> find(FT_HANDLE handle) {
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    const auto it = p.open.find(reinterpret_cast<std::uintptr_t>(handle));
    return it == p.open.end() ? nullptr : it->second;
}

FT_STATUS openByIndex(int index, FT_HANDLE* handle) {
    if (!handle) return FT_INVALID_PARAMETER;
    *handle = nullptr;
    const auto list = qusb::devices();
    if (index < 0 || static_cast<std::size_t>(index) >= list.size()) return FT_DEVICE_NOT_FOUND;
    auto port = std::make_shared<Port>();
    port->device = list[static_cast<std::size_t>(index)];
    std::weak_ptr<Port> weak = port;
    if (!port->device->open([weak](std::span<const std::uint8_t> chunk) {
            if (auto p = weak.lock()) p->deliver(chunk);
        }))
        return FT_DEVICE_NOT_OPENED;
    Ports& p = ports();
    std::lock_guard lock(p.mutex);
    const std::uintptr_t id = p.next++;
    p.open[id] = std::move(port);
    *handle = reinterpret_cast<FT_HANDLE>(id);
    return FT_OK;
}

FT_STATUS closeHandle(FT_HANDLE handle) {
    std::shared_ptr<Port> port;
    {
        Ports& p = ports();
        std::lock_guard lock(p.mutex);
        const auto it = p.open.find(reinterpret_cast<std::uintptr_t>(handle));
        if (it == p.open.end()) return FT_INVALID_HANDLE;
        port = std::move(it->second);
        p.open.erase(it);
    }
    port->device->close();
    return FT_OK;
}

FT_STATUS readBytes(FT_HANDLE handle, void* buffer, DWORD count, DWORD* read) {
    if (read) *read = 0;
    const auto port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!buffer && count) return FT_INVALID_PARAMETER;
    std::lock_guard lock(port->mutex);
    const auto n = static_cast<DWORD>(std::min<std::size_t>(count, port->waiting.size()));
    std::copy_n(port->waiting.begin(), n, static_cast<std::uint8_t*>(buffer));
    port->waiting.erase(port->waiting.begin(), port->waiting.begin() + n);
    if (read) *read = n;
    return FT_OK;
}

FT_STATUS writeBytes(FT_HANDLE handle, const void* bytes, DWORD count, DWORD* written) {
    if (written) *written = 0;
    const auto port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!bytes && count) return FT_INVALID_PARAMETER;
    if (!port->device->bulkOut(std::span(static_cast<const std::uint8_t*>(bytes), count))) return FT_IO_ERROR;
    if (written) *written = count;
    return FT_OK;
}

FT_STATUS accept(FT_HANDLE handle) { return find(handle) ? FT_OK : FT_INVALID_HANDLE; }

FT_STATUS purge(FT_HANDLE handle, ULONG mask) {
    const auto port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (mask & kPurgeRx) {
        std::lock_guard lock(port->mutex);
        port->waiting.clear();
    }
    return FT_OK;
}

FT_STATUS queueStatus(FT_HANDLE handle, DWORD* waiting) {
    const auto port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    if (!waiting) return FT_INVALID_PARAMETER;
    std::lock_guard lock(port->mutex);
    *waiting = static_cast<DWORD>(port->waiting.size());
    return FT_OK;
}

FT_STATUS eventNotification(FT_HANDLE handle, DWORD mask, HANDLE event) {
    const auto port = find(handle);
    if (!port) return FT_INVALID_HANDLE;
    std::lock_guard lock(port->mutex);
    port->event = (mask & kEventRxChar) ? event : nullptr;
    return FT_OK;
}

FT_STATUS createList(DWORD* count) {
    if (!count) return FT_INVALID_PARAMETER;
    *count = static_cast<DWORD>(qusb::devices().size());
    return FT_OK;
}

FT_STATUS getList(DeviceListNode* nodes, DWORD* count) {
    if (!nodes || !count) return FT_INVALID_PARAMETER;
    const auto list = qusb::devices();
    const auto n = static_cast<DWORD>(std::min<std::size_t>(*count, list.size()));
    for (DWORD i = 0; i < n; ++i) {
        DeviceListNode& node = nodes[i];
        std::memset(&node, 0, sizeof node);
        node.flags = list[i]->isOpen() ? 1 : 0;
        node.type = 5;
        node.id = 0x04036001;
        node.locationId = 0x11 + i;
        const std::string serial = "TF" + std::to_string(100000 + i);
        const std::string description = list[i]->identity().name;
        std::memcpy(node.serialNumber, serial.data(), std::min(serial.size(), sizeof node.serialNumber - 1));
        std::memcpy(node.description, description.data(), std::min(description.size(), sizeof node.description - 1));
    }
    *count = n;
    return FT_OK;
}

constexpr Table kBuiltIn{
    .open = openByIndex,
    .close = closeHandle,
    .read = readBytes,
    .write = writeBytes,
    .ordinal6 = accept,
    .setBaudRate = [](FT_HANDLE h, ULONG) { return accept(h); },
    .setDataCharacteristics = [](FT_HANDLE h, UCHAR, UCHAR, UCHAR) { return accept(h); },
    .setFlowControl = [](FT_HANDLE h, USHORT, UCHAR, UCHAR) { return accept(h); },
    .purge = purge,
    .setTimeouts = [](FT_HANDLE h, ULONG, ULONG) { return accept(h); },
    .getQueueStatus = queueStatus,
    .setEventNotification = eventNotification,
    .ordinal29 = [](FT_HANDLE h, UCHAR) { return accept(h); },
    .ordinal33 = [](FT_HANDLE h, ULONG, ULONG) { return accept(h); },
    .ordinal65 = [](FT_HANDLE h, ULONG) { return accept(h); },
    .createDeviceInfoList = createList,
    .getDeviceInfoList = getList,
};

struct Bound {
    std::mutex mutex;
    Table table = kBuiltIn;
};

Bound& bound() {
    static Bound& b = *new Bound;
    return b;
}

}  // namespace

Table table() {
    Bound& b = bound();
    std::lock_guard lock(b.mutex);
    return b.table;
}

Table install(const Table& replacement) {
    Bound& b = bound();
    std::lock_guard lock(b.mutex);
    return std::exchange(b.table, replacement);
}

const Table& builtIn() { return kBuiltIn; }

}  // namespace qd2xx
