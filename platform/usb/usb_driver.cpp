// The USB device driver stand-in over the machine's attached USB devices. One DriverFile per open
// handle; its Pipe holds the bytes the device sent that no bulk IN request has taken yet and the
// bulk IN requests that wait for bytes. Lock order: the device's own lock (it calls the receiver
// under it), then the pipe's, then the platform's event lock (completions set events).
#include "usb/usb_driver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <string>
#include <utility>

#include "usb/usb_devices.h"
#include "usb/usb_transfer.h"
#include "win32/device_notify.h"
#include "win32/device_provider.h"

namespace qusb {
namespace {

using qwin32::completeOverlapped;

constexpr std::string_view kPathPrefix = "\\\\?\\ulmrix#";
constexpr std::string_view kPathSuffix = "#{ae18aa60-7f6a-11d4-97dd-00010229b959}";
constexpr std::size_t kMaxInbound = 4u << 20;  // the device's side would hold further bytes back
constexpr std::uint8_t kBulkIn = 0x81, kBulkOut = 0x01;

using namespace ioctl;

std::mutex g_faultsMutex;
DriverFaults g_faults;

DriverFaults faults() {
    std::lock_guard lock(g_faultsMutex);
    return g_faults;
}

bool takeFailBulkIn() {
    std::lock_guard lock(g_faultsMutex);
    return std::exchange(g_faults.failBulkIn, false);
}

// A transfer's buffers: the header gets the statuses; the data goes to `data`.
struct Request {
    OVERLAPPED* overlapped;
    std::uint8_t* header;
    std::uint8_t* data;
    std::uint32_t capacity;
    std::uint32_t returnedExtra;  // the header's bytes in the returned count (buffered transfers)
};

void finish(const Request& r, DWORD error, std::uint32_t bytes, std::uint32_t usbd, std::uint32_t nt) {
    TransferHeader::put(r.header + TransferHeader::kUsbdStatus, usbd, 4);
    TransferHeader::put(r.header + TransferHeader::kNtStatus, nt, 4);
    TransferHeader::put(r.header + TransferHeader::kDataLength, bytes, 4);
    completeOverlapped(r.overlapped, error, bytes + r.returnedExtra);
}

void cancel(const Request& r) { finish(r, ERROR_OPERATION_ABORTED, 0, kUsbdStatusCanceled, kNtStatusCancelled); }

class Pipe {
public:
    void deliver(std::span<const std::uint8_t> chunk) {
        std::lock_guard lock(mutex_);
        if (closed_ || inbound_.size() + chunk.size() > kMaxInbound) return;
        inbound_.insert(inbound_.end(), chunk.begin(), chunk.end());
        serve();
    }
    // Queues a bulk IN request; it ends at once when bytes are waiting.
    void queue(const Request& r) {
        std::lock_guard lock(mutex_);
        if (closed_) return cancel(r);
        pending_.push_back(r);
        serve();
    }
    void abort() {
        std::lock_guard lock(mutex_);
        for (const Request& r : pending_) cancel(r);
        pending_.clear();
    }
    // The device has left: every waiting request ends with the device gone.
    void fail() {
        std::lock_guard lock(mutex_);
        for (const Request& r : pending_) finish(r, ERROR_DEVICE_NOT_CONNECTED, 0, kUsbdStatusDeviceGone, kNtStatusUnsuccessful);
        pending_.clear();
    }
    void close() {
        std::lock_guard lock(mutex_);
        closed_ = true;
        for (const Request& r : pending_) cancel(r);
        pending_.clear();
        inbound_.clear();
    }

private:
    void serve() {  // lock held
        while (!pending_.empty() && !inbound_.empty()) {
            const Request r = pending_.front();
            pending_.pop_front();
            if (takeFailBulkIn()) {
                finish(r, ERROR_GEN_FAILURE, 0, kUsbdStatusStall, kNtStatusUnsuccessful);
                continue;
            }
            const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(r.capacity, inbound_.size()));
            std::copy_n(inbound_.begin(), n, r.data);
            inbound_.erase(inbound_.begin(), inbound_.begin() + n);
            finish(r, ERROR_SUCCESS, n, 0, 0);
        }
    }

    std::mutex mutex_;
    bool closed_ = false;
    std::deque<std::uint8_t> inbound_;
    std::deque<Request> pending_;
};

bool attached(const UsbDevice* device) {
    const auto list = devices();
    return std::any_of(list.begin(), list.end(), [&](const auto& d) { return d.get() == device; });
}

class DriverFile final : public qwin32::ProvidedDevice {
public:
    DriverFile(std::shared_ptr<UsbDevice> device, std::uint32_t index)
        : device_(std::move(device)), index_(index), pipe_(std::make_shared<Pipe>()) {}
    ~DriverFile() override {
        pipe_->close();
        abortHeldOut();
        if (open_) device_->close();
    }

    const UsbDevice* device() const { return device_.get(); }

    bool open() {
        std::weak_ptr<Pipe> pipe = pipe_;
        open_ = device_->open([pipe](std::span<const std::uint8_t> chunk) {
            if (auto p = pipe.lock()) p->deliver(chunk);
        });
        return open_;
    }

    BOOL control(DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer, DWORD outSize, LPDWORD returned,
                 OVERLAPPED* overlapped) override {
        if (!attached(device_.get())) {
            pipe_->fail();
            abortHeldOut();
            return end(overlapped, returned, ERROR_DEVICE_NOT_CONNECTED, 0);
        }
        auto* in = static_cast<std::uint8_t*>(inBuffer);
        auto* out = static_cast<std::uint8_t*>(outBuffer);
        switch (code) {
        case kGetDriverVersion: return answer32(out, outSize, 0x01020003, returned, overlapped);
        case kGetUsbdiVersion: return answer32(out, outSize, 0x0600, returned, overlapped);
        case kGetSpeed: return answer32(out, outSize, device_->identity().bcdUsb >= 0x0300 ? 4 : 2, returned, overlapped);
        case kGetAltInterface: return answer8(out, outSize, 0, returned, overlapped);
        case kGetAddress: return answer8(out, outSize, static_cast<std::uint8_t>(index_ + 1), returned, overlapped);
        case kGetFriendlyName:
        case kGetDeviceName: {
            if (!out || outSize < 256) return end(overlapped, returned, ERROR_INSUFFICIENT_BUFFER, 0);
            const std::string name = code == kGetDeviceName ? device_->identity().name : "Ulmrix USB device";
            std::memset(out, 0, outSize);
            std::memcpy(out, name.data(), std::min<std::size_t>(name.size(), 255));
            return end(overlapped, returned, ERROR_SUCCESS, outSize);
        }
        case kRecover: return end(overlapped, returned, ERROR_SUCCESS, 0);
        case kResetPipe: return end(overlapped, returned, inSize >= 1 ? ERROR_SUCCESS : ERROR_INVALID_PARAMETER, 0);
        case kAbortPipe:
            if (inSize < 1) return end(overlapped, returned, ERROR_INVALID_PARAMETER, 0);
            if (in[0] == kBulkIn) pipe_->abort();
            if (in[0] == kBulkOut) abortHeldOut();
            return end(overlapped, returned, ERROR_SUCCESS, 0);
        case kControlTransfer: return controlTransfer(in, inSize, returned, overlapped);
        case kBufferedTransfer:
            if (inSize < kTransferHeaderSize) return end(overlapped, returned, ERROR_INVALID_PARAMETER, 0);
            return bulk(in, in + kTransferHeaderSize, inSize - kTransferHeaderSize, kTransferHeaderSize, returned, overlapped);
        case kDirectTransfer:
            if (inSize < kTransferHeaderSize) return end(overlapped, returned, ERROR_INVALID_PARAMETER, 0);
            return bulk(in, out, outSize, 0, returned, overlapped);
        default: return end(overlapped, returned, ERROR_INVALID_FUNCTION, 0);
        }
    }

private:
    // Ends a request at once, synchronous or overlapped.
    static BOOL end(OVERLAPPED* overlapped, LPDWORD returned, DWORD error, DWORD bytes) {
        if (returned) *returned = error == ERROR_SUCCESS ? bytes : 0;
        if (overlapped) completeOverlapped(overlapped, error, bytes);
        if (error != ERROR_SUCCESS) return qwin32::failWith(error);
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }
    static BOOL answer32(std::uint8_t* out, DWORD outSize, std::uint32_t value, LPDWORD returned, OVERLAPPED* ov) {
        if (!out || outSize < 4) return end(ov, returned, ERROR_INSUFFICIENT_BUFFER, 0);
        TransferHeader::put(out, value, 4);
        return end(ov, returned, ERROR_SUCCESS, 4);
    }
    static BOOL answer8(std::uint8_t* out, DWORD outSize, std::uint8_t value, LPDWORD returned, OVERLAPPED* ov) {
        if (!out || outSize < 1) return end(ov, returned, ERROR_INSUFFICIENT_BUFFER, 0);
        out[0] = value;
        return end(ov, returned, ERROR_SUCCESS, 1);
    }

    BOOL controlTransfer(std::uint8_t* buffer, DWORD size, LPDWORD returned, OVERLAPPED* overlapped) {
        if (size < kTransferHeaderSize) return end(overlapped, returned, ERROR_INVALID_PARAMETER, 0);
        const TransferHeader h = TransferHeader::read(buffer);
        const std::uint32_t room = std::min<std::uint32_t>(h.wLength, size - kTransferHeaderSize);
        const DescriptorSet set = device_->descriptors();
        const std::vector<std::uint8_t>* d = nullptr;
        const std::uint8_t type = static_cast<std::uint8_t>(h.wValue >> 8), index = static_cast<std::uint8_t>(h.wValue);
        if (h.bmRequestType == 0x80 && h.bRequest == 6) {
            if (type == 1 && index == 0) d = &set.device;
            if (type == 2 && index < set.configurations.size()) d = &set.configurations[index];
            if (type == 3 && index < set.strings.size()) d = &set.strings[index];
            if (type == 0x0F && index == 0 && !set.bos.empty()) d = &set.bos;
        }
        const Request r{overlapped, buffer, buffer + kTransferHeaderSize, room, kTransferHeaderSize};
        if (!d) {  // the device stalls what it does not know
            if (overlapped) finish(r, ERROR_GEN_FAILURE, 0, kUsbdStatusStall, kNtStatusUnsuccessful);
            return qwin32::failWith(ERROR_GEN_FAILURE);
        }
        const auto n = static_cast<std::uint32_t>(std::min<std::size_t>(room, d->size()));
        std::copy_n(d->begin(), n, r.data);
        if (overlapped) {
            finish(r, ERROR_SUCCESS, n, 0, 0);
        } else {
            TransferHeader::put(buffer + TransferHeader::kDataLength, n, 4);
        }
        if (returned) *returned = kTransferHeaderSize + n;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }

    BOOL bulk(std::uint8_t* header, std::uint8_t* data, std::uint32_t capacity, std::uint32_t extra, LPDWORD returned,
              OVERLAPPED* overlapped) {
        if (!overlapped) return end(nullptr, returned, ERROR_INVALID_PARAMETER, 0);
        const std::uint8_t endpoint = header[13];
        const Request r{overlapped, header, data, capacity, extra};
        if (endpoint == kBulkIn) {
            pipe_->queue(r);
            return qwin32::failWith(ERROR_IO_PENDING);
        }
        if (endpoint != kBulkOut) {
            finish(r, ERROR_GEN_FAILURE, 0, kUsbdStatusStall, kNtStatusUnsuccessful);
            return qwin32::failWith(ERROR_GEN_FAILURE);
        }
        const DriverFaults f = faults();
        if (f.failBulkOut) {
            finish(r, ERROR_GEN_FAILURE, 0, kUsbdStatusStall, kNtStatusUnsuccessful);
            return qwin32::failWith(ERROR_GEN_FAILURE);
        }
        if (f.holdBulkOut) {
            std::lock_guard lock(heldMutex_);
            held_.push_back(r);
            return qwin32::failWith(ERROR_IO_PENDING);
        }
        const std::uint32_t n = f.shortBulkOut ? std::min(capacity, f.shortBulkOut) : capacity;
        if (!device_->bulkOut(std::span<const std::uint8_t>(data, n))) {
            finish(r, ERROR_DEVICE_NOT_CONNECTED, 0, kUsbdStatusDeviceGone, kNtStatusUnsuccessful);
            return qwin32::failWith(ERROR_DEVICE_NOT_CONNECTED);
        }
        finish(r, ERROR_SUCCESS, n, 0, 0);
        if (returned) *returned = n + extra;
        SetLastError(ERROR_SUCCESS);
        return TRUE;
    }

    void abortHeldOut() {
        std::lock_guard lock(heldMutex_);
        for (const Request& r : held_) cancel(r);
        held_.clear();
    }

    const std::shared_ptr<UsbDevice> device_;
    const std::uint32_t index_;
    const std::shared_ptr<Pipe> pipe_;
    bool open_ = false;
    std::mutex heldMutex_;
    std::deque<Request> held_;
};

// As the platform names an interface: the hardware identifiers, then the instance.
std::string interfacePath(const UsbDevice& device, std::size_t index) {
    const DeviceIdentity id = device.identity();
    char ids[32];
    std::snprintf(ids, sizeof ids, "vid_%04x&pid_%04x#", id.vendorId, id.productId);
    return std::string(kPathPrefix) + ids + std::to_string(index) + std::string(kPathSuffix);
}

// The handles open on the driver's devices, so that a device's removal reaches the windows
// registered on them.
struct OpenFiles {
    std::mutex mutex;
    std::vector<std::weak_ptr<DriverFile>> files;
};

OpenFiles& openFiles() {
    static OpenFiles& f = *new OpenFiles;  // the driver lives as long as the process
    return f;
}

void portsChanged(const UsbDevice& device, std::size_t index, bool arrived) {
    if (!arrived) {
        std::vector<std::shared_ptr<DriverFile>> onDevice;
        {
            OpenFiles& f = openFiles();
            std::lock_guard lock(f.mutex);
            std::erase_if(f.files, [](const auto& w) { return w.expired(); });
            for (const auto& w : f.files)
                if (auto file = w.lock(); file && file->device() == &device) onDevice.push_back(std::move(file));
        }
        for (const auto& file : onDevice) qwin32::announceDeviceRemoved(*file);
    }
    qwin32::announceDeviceInterface(kUsbDriverInterfaceClass, interfacePath(device, index),
                                    arrived ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE);
}

class Driver final : public qwin32::DeviceProvider {
public:
    std::vector<std::string> interfaces(const GUID& interfaceClass) override {
        if (std::memcmp(&interfaceClass, &kUsbDriverInterfaceClass, sizeof(GUID)) != 0) return {};
        std::vector<std::string> paths;
        const auto list = devices();
        for (std::size_t i = 0; i < list.size(); ++i) paths.push_back(interfacePath(*list[i], i));
        return paths;
    }
    bool serves(const std::string& path) override { return path.starts_with(kPathPrefix); }
    std::shared_ptr<qwin32::ProvidedDevice> open(const std::string& path, DWORD, DWORD, DWORD& error) override {
        // The member's position in the attach order, after the hardware identifiers.
        const std::size_t hash = path.find('#', kPathPrefix.size());
        const std::string rest = hash == std::string::npos ? std::string() : path.substr(hash + 1);
        std::size_t used = 0;
        unsigned long index = 0;
        try {
            index = std::stoul(rest, &used);
        } catch (...) {
            used = 0;
        }
        const auto list = devices();
        if (used == 0 || rest.substr(used) != kPathSuffix || index >= list.size()) {
            error = ERROR_FILE_NOT_FOUND;
            return nullptr;
        }
        auto file = std::make_shared<DriverFile>(list[index], static_cast<std::uint32_t>(index));
        if (!file->open()) {
            error = ERROR_ACCESS_DENIED;  // exclusive: another handle holds the device
            return nullptr;
        }
        OpenFiles& f = openFiles();
        std::lock_guard lock(f.mutex);
        std::erase_if(f.files, [](const auto& w) { return w.expired(); });
        f.files.push_back(file);
        return file;
    }
};

[[maybe_unused]] const bool g_registered = (registerUsbDriver(), true);

}  // namespace

void setDriverFaults(DriverFaults f) {
    std::lock_guard lock(g_faultsMutex);
    g_faults = f;
}

void registerUsbDriver() {
    static Driver& driver = *new Driver;  // registered for the life of the process
    qwin32::registerDeviceProvider(&driver);
    setPortListener(portsChanged);
}

}  // namespace qusb
