#include "cy_usb_descriptors.h"

#include <algorithm>

namespace {

constexpr std::uint8_t kDescDevice = 1, kDescConfiguration = 2, kDescInterface = 4, kDescBos = 0x0F,
                       kDescCapability = 0x10;
constexpr std::uint8_t kCapUsb20Extension = 2, kCapSuperSpeed = 3, kCapContainerId = 4;
constexpr std::size_t kEndpointDescriptorSize = 7, kCompanionSize = 6, kInterfaceDescriptorSize = 9;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

// The descriptor at `at`: its length when it is whole and at least `minimum` bytes long, else 0.
std::size_t descriptorAt(std::span<const std::uint8_t> bytes, std::size_t at, std::size_t minimum) {
    if (at + 2 > bytes.size()) return 0;
    const std::size_t length = bytes[at];
    if (length < std::max<std::size_t>(minimum, 2) || at + length > bytes.size()) return 0;
    return length;
}

std::unique_ptr<CCyUSBEndPoint> makeEndpoint(HANDLE device, const std::uint8_t* d, const std::uint8_t* companion) {
    switch (d[3] & 3) {
    case 1: return std::make_unique<CCyIsocEndPoint>(device, d, companion);
    case 2: return std::make_unique<CCyBulkEndPoint>(device, d, companion);
    case 3: return std::make_unique<CCyInterruptEndPoint>(device, d, companion);
    default: return nullptr;  // a control endpoint beside endpoint 0 gets no object
    }
}

template <class Kind>
std::unique_ptr<CCyUSBEndPoint> freshCopy(const CCyUSBEndPoint& ep) {
    auto copy = std::make_unique<Kind>(static_cast<const Kind&>(ep));
    copy->UsbdStatus = copy->NtStatus = copy->bytesWritten = copy->LastError = 0;
    copy->TimeOut = CCyUSBEndPoint::kDefaultTimeOut;
    copy->bDirect = false;
    return copy;
}

std::unique_ptr<CCyUSBEndPoint> copyEndpoint(const CCyUSBEndPoint& ep) {
    if (dynamic_cast<const CCyIsocEndPoint*>(&ep)) return freshCopy<CCyIsocEndPoint>(ep);
    if (dynamic_cast<const CCyBulkEndPoint*>(&ep)) return freshCopy<CCyBulkEndPoint>(ep);
    if (dynamic_cast<const CCyInterruptEndPoint*>(&ep)) return freshCopy<CCyInterruptEndPoint>(ep);
    return nullptr;  // the tree holds no other kind
}

// The interface at `at` (its descriptor already checked) and its endpoints. Returns the offset
// after what it took, or 0 when malformed.
std::size_t readInterface(std::span<const std::uint8_t> bytes, std::size_t at, bool companions, HANDLE device,
                          CCyUSBInterface& itf) {
    const std::uint8_t* d = bytes.data() + at;
    itf.bLength = d[0];
    itf.bDescriptorType = d[1];
    itf.bInterfaceNumber = d[2];
    itf.bAlternateSetting = d[3];
    itf.bNumEndpoints = d[4];
    itf.bInterfaceClass = d[5];
    itf.bInterfaceSubClass = d[6];
    itf.bInterfaceProtocol = d[7];
    itf.iInterface = d[8];
    if (itf.bNumEndpoints >= kEndpointSlots) return 0;
    std::size_t pos = at + d[0];
    int skipped = 0;
    for (std::size_t slot = 1; slot <= itf.bNumEndpoints;) {
        const std::size_t length = descriptorAt(bytes, pos, 2);
        if (length == 0) return 0;
        const std::uint8_t type = bytes[pos + 1];
        if (type == kDescInterface) return 0;  // fewer endpoints than announced
        if (type != kDescEndpoint) {
            if (++skipped > kMaxSkippedDescriptors) return 0;
            pos += length;
            continue;
        }
        if (length < kEndpointDescriptorSize) return 0;
        const std::uint8_t* endpoint = bytes.data() + pos;
        pos += length;
        const std::uint8_t* companion = nullptr;
        if (companions) {
            const std::size_t next = descriptorAt(bytes, pos, 2);
            if (next && bytes[pos + 1] == kDescSsCompanion) {
                if (next < kCompanionSize) return 0;
                companion = bytes.data() + pos;
                pos += next;
            }
        }
        itf.EndPoints[slot++] = makeEndpoint(device, endpoint, companion);
    }
    itf.wTotalLength = static_cast<std::uint16_t>(pos - at);
    return pos;
}

}  // namespace

bool read_device_descriptor(std::span<const std::uint8_t> b, UsbDeviceDescriptorValues& out) {
    if (b.size() < 18 || b[0] < 18 || b[1] != kDescDevice) return false;
    out.bcdUSB = le16(&b[2]);
    out.bDeviceClass = b[4];
    out.bDeviceSubClass = b[5];
    out.bDeviceProtocol = b[6];
    out.bMaxPacketSize0 = b[7];
    out.idVendor = le16(&b[8]);
    out.idProduct = le16(&b[10]);
    out.bcdDevice = le16(&b[12]);
    out.iManufacturer = b[14];
    out.iProduct = b[15];
    out.iSerialNumber = b[16];
    out.bNumConfigurations = b[17];
    return true;
}

std::uint16_t endpoint0_packet_size(std::uint16_t bcdUSB, std::uint8_t bMaxPacketSize0) {
    if (bcdUSB < 0x0300) return bMaxPacketSize0;
    return static_cast<std::uint16_t>(1u << std::min<unsigned>(bMaxPacketSize0, 15));
}

bool decode_bos(std::span<const std::uint8_t> b, BosCapabilities& out) {
    out = {};
    if (b.size() < 5 || b[0] < 5 || b[1] != kDescBos || le16(&b[2]) > b.size() || le16(&b[2]) < b[0]) return false;
    const std::span<const std::uint8_t> whole = b.first(le16(&b[2]));
    std::size_t pos = b[0];
    for (unsigned n = 0; n < b[4] && pos < whole.size(); ++n) {
        const std::size_t length = descriptorAt(whole, pos, 3);
        if (length == 0 || whole[pos + 1] != kDescCapability) return false;
        const std::uint8_t* c = whole.data() + pos;
        switch (c[2]) {
        case kCapUsb20Extension:
            if (length < 7) return false;
            out.usb20 = {c[0], c[1], c[2], static_cast<std::uint32_t>(c[3] | c[4] << 8 | c[5] << 16 | c[6] << 24)};
            out.hasUsb20Extension = true;
            break;
        case kCapSuperSpeed:
            if (length < 10) return false;
            out.superSpeed = {c[0], c[1], c[2], c[3], le16(c + 4), c[6], c[7], le16(c + 8)};
            out.hasSuperSpeed = true;
            break;
        case kCapContainerId:
            if (length < 20) return false;
            out.containerId.bLength = c[0];
            out.containerId.bDescriptorType = c[1];
            out.containerId.bDevCapabilityType = c[2];
            out.containerId.bReserved = c[3];
            std::copy_n(c + 4, 16, out.containerId.ContainerID.begin());
            out.hasContainerId = true;
            break;
        default: return true;  // a capability of another kind ends the walk
        }
        pos += length;
    }
    return true;
}

std::unique_ptr<CCyUSBConfig> build_configuration(std::span<const std::uint8_t> bytes, bool companions, HANDLE device) {
    if (bytes.size() < 9 || bytes[0] < 9 || bytes[1] != kDescConfiguration) return nullptr;
    auto config = std::make_unique<CCyUSBConfig>();
    config->bLength = bytes[0];
    config->bDescriptorType = bytes[1];
    config->wTotalLength = le16(&bytes[2]);
    config->bNumInterfaces = bytes[4];
    config->bConfigurationValue = bytes[5];
    config->iConfiguration = bytes[6];
    config->bmAttributes = bytes[7];
    config->MaxPower = bytes[8];
    if (config->wTotalLength < bytes[0] || config->wTotalLength > bytes.size()) return nullptr;
    const std::span<const std::uint8_t> whole = bytes.first(config->wTotalLength);
    std::size_t pos = bytes[0];
    while (pos < whole.size()) {
        const std::size_t length = descriptorAt(whole, pos, 2);
        if (length == 0) return nullptr;
        if (whole[pos + 1] != kDescInterface) {
            pos += length;
            continue;
        }
        if (length < kInterfaceDescriptorSize || config->Interfaces.size() >= kMaxInterfaces) return nullptr;
        auto itf = std::make_unique<CCyUSBInterface>();
        const std::size_t next = readInterface(whole, pos, companions, device, *itf);
        if (next == 0) return nullptr;
        pos = next;
        config->Interfaces.push_back(std::move(itf));
    }
    for (auto& itf : config->Interfaces)
        itf->bAltSettings = static_cast<std::uint8_t>(std::count_if(
            config->Interfaces.begin(), config->Interfaces.end(),
            [&](const auto& other) { return other->bInterfaceNumber == itf->bInterfaceNumber; }));
    return config;
}

std::unique_ptr<CCyUSBConfig> copy_configuration(const CCyUSBConfig& config) {
    auto copy = std::make_unique<CCyUSBConfig>();
    copy->bLength = config.bLength;
    copy->bDescriptorType = config.bDescriptorType;
    copy->wTotalLength = config.wTotalLength;
    copy->bNumInterfaces = config.bNumInterfaces;
    copy->bConfigurationValue = config.bConfigurationValue;
    copy->iConfiguration = config.iConfiguration;
    copy->bmAttributes = config.bmAttributes;
    copy->MaxPower = config.MaxPower;
    for (const auto& itf : config.Interfaces) {
        auto i = std::make_unique<CCyUSBInterface>();
        i->bLength = itf->bLength;
        i->bDescriptorType = itf->bDescriptorType;
        i->bInterfaceNumber = itf->bInterfaceNumber;
        i->bAlternateSetting = itf->bAlternateSetting;
        i->bNumEndpoints = itf->bNumEndpoints;
        i->bInterfaceClass = itf->bInterfaceClass;
        i->bInterfaceSubClass = itf->bInterfaceSubClass;
        i->bInterfaceProtocol = itf->bInterfaceProtocol;
        i->iInterface = itf->iInterface;
        i->bAltSettings = itf->bAltSettings;
        i->wTotalLength = itf->wTotalLength;
        for (std::size_t slot = 0; slot < kEndpointSlots; ++slot)
            if (itf->EndPoints[slot]) i->EndPoints[slot] = copyEndpoint(*itf->EndPoints[slot]);
        copy->Interfaces.push_back(std::move(i));
    }
    return copy;
}
