#include "cy_usb_device.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "usb/usb_transfer.h"

namespace {

constexpr std::uint32_t kDescriptorTimeoutMs = 5000;
constexpr std::size_t kNameSize = 256;
constexpr std::uint8_t kDescDevice = 1, kDescConfiguration = 2, kDescString = 3, kDescBos = 0x0F;

std::size_t firstByte(const std::vector<std::uint8_t>& d) { return d[0]; }
std::size_t totalLength(const std::vector<std::uint8_t>& d) { return d[2] | std::size_t{d[3]} << 8; }

std::string nameText(const std::uint8_t* bytes) {
    const auto* end = std::find(bytes, bytes + kNameSize, std::uint8_t{0});
    return std::string(bytes, end);
}

}  // namespace

CCyUSBDevice::CCyUSBDevice(const GUID& interfaceClass) : CCyUSBDevice(nullptr, interfaceClass, false) {}

CCyUSBDevice::CCyUSBDevice(HANDLE notifyWindow, const GUID& interfaceClass, bool openFirst)
    : m_interfaceClass(interfaceClass), m_notifyWindow(notifyWindow) {
    if (m_notifyWindow) {
        DEV_BROADCAST_DEVICEINTERFACE_A filter{};
        filter.dbcc_size = sizeof filter;
        filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
        filter.dbcc_classguid = m_interfaceClass;
        m_deviceNotification = RegisterDeviceNotificationA(m_notifyWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    if (openFirst) OpenDevice(0);
}

CCyUSBDevice::~CCyUSBDevice() {
    CloseDevice();
    unregisterNotification(m_deviceNotification, "Failed to close the device notification handle.");
}

void CCyUSBDevice::unregisterNotification(HDEVNOTIFY& notification, const char* failure) {
    if (!notification) return;
    if (!UnregisterDeviceNotification(notification))
        OutputDebugStringA((std::string("[ERROR] DavAzuv - ") + failure + "\n").c_str());
    notification = nullptr;
}

std::uint8_t CCyUSBDevice::CountInterfaces() {
    HDEVINFO set = SetupDiGetClassDevsA(&m_interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return 0;
    std::uint8_t count = 0;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    while (count < 255 && SetupDiEnumDeviceInterfaces(set, nullptr, &m_interfaceClass, count, &data)) ++count;
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

std::string CCyUSBDevice::interfacePath(std::uint8_t index, DWORD& error) {
    error = ERROR_NO_MORE_ITEMS;
    HDEVINFO set = SetupDiGetClassDevsA(&m_interfaceClass, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) return {};
    std::string path;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (SetupDiEnumDeviceInterfaces(set, nullptr, &m_interfaceClass, index, &data)) {
        DWORD needed = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &needed, nullptr);
        std::vector<std::uint8_t> storage(std::max<std::size_t>(needed, sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)));
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, detail, static_cast<DWORD>(storage.size()), nullptr, nullptr))
            path = detail->DevicePath;
        else
            error = GetLastError();
    }
    SetupDiDestroyDeviceInfoList(set);
    return path;
}

bool CCyUSBDevice::DriverIoControl(std::uint32_t code, void* buffer, std::uint32_t size) {
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(hDevice, code, buffer, size, buffer, size, &returned, nullptr);
    if (ok && returned == size) return true;
    LastError = ok ? ERROR_INVALID_PARAMETER : GetLastError();
    return false;
}

bool CCyUSBDevice::Recover(std::uint8_t index) {
    HANDLE h = OpenInterfaceHandle(index);
    if (h == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(h, qusb::ioctl::kRecover, nullptr, 0, nullptr, 0, &returned, nullptr);
    CloseHandle(h);
    return ok != FALSE;
}

bool CCyUSBDevice::InterfaceIds(std::uint8_t index, std::uint16_t& vendor, std::uint16_t& product) {
    DWORD error = 0;
    std::string path = interfacePath(index, error);
    for (char& c : path) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    auto hex4 = [&](const char* key, std::uint16_t& out) {
        const std::size_t at = path.find(key);
        if (at == std::string::npos || at + 8 > path.size()) return false;
        unsigned value = 0;
        for (std::size_t i = at + 4; i < at + 8; ++i) {
            const char c = path[i];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
            if (digit < 0) return false;
            value = value << 4 | static_cast<unsigned>(digit);
        }
        out = static_cast<std::uint16_t>(value);
        return true;
    };
    return hex4("vid_", vendor) && hex4("pid_", product);
}

HANDLE CCyUSBDevice::OpenInterfaceHandle(std::uint8_t index) {
    DWORD error = 0;
    const std::string path = interfacePath(index, error);
    if (path.empty()) {
        LastError = error;
        return INVALID_HANDLE_VALUE;
    }
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE) LastError = GetLastError();
    return handle;
}

bool CCyUSBDevice::OpenDevice(std::uint8_t index) {
    CloseDevice();
    const std::uint8_t count = CountInterfaces();
    if (count == 0 || index >= count) return false;
    hDevice = OpenInterfaceHandle(index);
    if (hDevice == INVALID_HANDLE_VALUE) return false;
    if (!readDescriptors()) {
        CloseDevice();
        return false;
    }
    if (m_deviceNotification) {
        DEV_BROADCAST_HANDLE filter{};
        filter.dbch_size = sizeof filter;
        filter.dbch_devicetype = DBT_DEVTYP_HANDLE;
        filter.dbch_handle = hDevice;
        m_handleNotification = RegisterDeviceNotificationA(m_notifyWindow, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
    }
    return true;
}

bool CCyUSBDevice::getDescriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language, std::size_t first,
                                 std::size_t (*lengthOf)(const std::vector<std::uint8_t>&),
                                 std::vector<std::uint8_t>& out) {
    CCyControlEndPoint& ep0 = *ControlEndPt;
    ep0.Target = 0;
    ep0.ReqType = 0;
    ep0.Direction = 1;
    ep0.ReqCode = 6;
    ep0.Value = static_cast<std::uint16_t>(type << 8 | index);
    ep0.Index = language;
    ep0.TimeOut = kDescriptorTimeoutMs;
    out.assign(first, 0);
    std::uint32_t length = static_cast<std::uint32_t>(first);
    if (!ep0.TransferSync(out.data(), length) || length < first) return false;
    const std::size_t whole = lengthOf(out);
    if (whole < first || whole > 0xFFFF) return false;
    if (whole == first) return true;
    out.assign(whole, 0);
    length = static_cast<std::uint32_t>(whole);
    if (!ep0.TransferSync(out.data(), length) || length != whole) return false;
    return lengthOf(out) == whole;
}

bool CCyUSBDevice::readString(std::uint8_t index, std::u16string& out) {
    out.clear();
    std::vector<std::uint8_t> d;
    if (!getDescriptor(kDescString, index, StrLangID, 2, firstByte, d)) return false;
    if (d[1] != kDescString || d.size() <= 2) return true;
    const std::size_t chars = std::min<std::size_t>((d.size() - 2) / 2, kNameSize / 2 - 1);
    for (std::size_t i = 0; i < chars; ++i) out.push_back(static_cast<char16_t>(d[2 + 2 * i] | d[3 + 2 * i] << 8));
    return true;
}

void CCyUSBDevice::failDescriptors(const char* message, const char* caption) {
    OutputDebugStringA((std::string("[ERROR] DavAzuv - ") + caption + ": " + message + "\n").c_str());
}

bool CCyUSBDevice::readDescriptors() {
    ControlEndPt = std::make_unique<CCyControlEndPoint>(hDevice, 64);
    std::vector<std::uint8_t> d;
    UsbDeviceDescriptorValues dev;
    if (!getDescriptor(kDescDevice, 0, 0, 18, firstByte, d) || !read_device_descriptor(d, dev)) {
        failDescriptors("Please correct firmware descriptor table", "Wrong Device Descriptor");
        return false;
    }
    BcdUSB = dev.bcdUSB;
    DevClass = dev.bDeviceClass;
    DevSubClass = dev.bDeviceSubClass;
    DevProtocol = dev.bDeviceProtocol;
    MaxPacketSize0 = dev.bMaxPacketSize0;
    MaxPacketSize = endpoint0_packet_size(dev.bcdUSB, dev.bMaxPacketSize0);
    VendorID = dev.idVendor;
    ProductID = dev.idProduct;
    BcdDevice = dev.bcdDevice;
    StrMfgIndex = dev.iManufacturer;
    StrProdIndex = dev.iProduct;
    StrSerialIndex = dev.iSerialNumber;
    NumConfigs = dev.bNumConfigurations;
    ControlEndPt->MaxPktSize = MaxPacketSize;

    // Languages: 0x0409 when listed, else the first; none gives 0.
    StrLangID = 0;
    if (getDescriptor(kDescString, 0, 0, 2, firstByte, d) && d[1] == kDescString) {
        for (std::size_t i = 2; i + 1 < d.size(); i += 2) {
            const auto language = static_cast<std::uint16_t>(d[i] | d[i + 1] << 8);
            if (i == 2 || language == 0x0409) StrLangID = language;
        }
    }
    if (StrMfgIndex) readString(StrMfgIndex, Manufacturer);
    if (StrProdIndex) readString(StrProdIndex, Product);
    if (StrSerialIndex) readString(StrSerialIndex, SerialNumber);

    if ((BcdUSB >> 8) == 3) {
        if (!getDescriptor(kDescBos, 0, 0, 5, totalLength, d) || !decode_bos(d, m_bos)) {
            failDescriptors("Please correct firmware BOS descriptor table", "Wrong BOS Descriptor");
            return false;
        }
    }

    std::uint8_t u8 = 0;
    USBAddress = DriverIoControl(qusb::ioctl::kGetAddress, &u8, 1) ? u8 : 0;
    std::vector<std::uint8_t> name(kNameSize, 0);
    if (DriverIoControl(qusb::ioctl::kGetFriendlyName, name.data(), kNameSize)) FriendlyName = nameText(name.data());
    std::fill(name.begin(), name.end(), 0);
    if (DriverIoControl(qusb::ioctl::kGetDeviceName, name.data(), kNameSize)) DeviceName = nameText(name.data());
    std::uint32_t u32 = 0;
    if (DriverIoControl(qusb::ioctl::kGetDriverVersion, &u32, 4)) DriverVersion = u32;
    if (DriverIoControl(qusb::ioctl::kGetUsbdiVersion, &u32, 4)) UsbdiVersion = u32;
    u32 = 0;
    if (DriverIoControl(qusb::ioctl::kGetSpeed, &u32, 4)) {
        bHighSpeed = u32 == 2;
        bSuperSpeed = u32 == 4;
    }

    const bool companions = (BcdUSB >> 8) != 2;
    for (std::uint8_t c = 0; c < NumConfigs; ++c) {
        std::unique_ptr<CCyUSBConfig> config;
        if (getDescriptor(kDescConfiguration, c, 0, 9, totalLength, d))
            config = build_configuration(d, companions, hDevice);
        if (!config) {
            failDescriptors("Please correct firmware descriptor table", "Wrong Device Configuration");
            return false;
        }
        m_configs.push_back(std::move(config));
    }
    if (m_configs.empty() || m_configs[0]->Interfaces.empty()) return false;
    std::uint8_t alt = 0;
    if (!DriverIoControl(qusb::ioctl::kGetAltInterface, &alt, 1)) alt = 0;
    return SetConfig(0) && (SetAltIntfc(alt) || SetAltIntfc(0));
}

bool CCyUSBDevice::SetConfig(std::uint8_t config) {
    if (config >= m_configs.size()) return false;
    m_config = config;
    return true;
}

bool CCyUSBDevice::SetAltIntfc(std::uint8_t alt) {
    if (m_config >= m_configs.size()) return false;
    const auto& interfaces = m_configs[m_config]->Interfaces;
    const std::uint8_t number = interfaces.empty() ? 0 : interfaces[m_interface < interfaces.size() ? m_interface : 0]->bInterfaceNumber;
    for (std::size_t i = 0; i < interfaces.size(); ++i) {
        CCyUSBInterface& itf = *interfaces[i];
        if (itf.bInterfaceNumber != number || itf.bAlternateSetting != alt) continue;
        m_interface = static_cast<std::uint8_t>(i);
        m_alt = alt;
        EndPoints.assign(1, ControlEndPt.get());
        IsocInEndPt = IsocOutEndPt = BulkInEndPt = BulkOutEndPt = InterruptInEndPt = InterruptOutEndPt = nullptr;
        for (std::size_t slot = 1; slot <= itf.bNumEndpoints && slot < kEndpointSlots; ++slot) {
            CCyUSBEndPoint* ep = itf.EndPoints[slot].get();
            EndPoints.push_back(ep);
            if (!ep) continue;
            ep->bDirect = true;
            CCyUSBEndPoint** first = nullptr;
            switch (ep->Attributes & 3) {
            case 1: first = ep->bIn ? &IsocInEndPt : &IsocOutEndPt; break;
            case 2: first = ep->bIn ? &BulkInEndPt : &BulkOutEndPt; break;
            case 3: first = ep->bIn ? &InterruptInEndPt : &InterruptOutEndPt; break;
            default: break;
            }
            if (first && !*first) *first = ep;
        }
        return true;
    }
    return false;
}

std::unique_ptr<CCyUSBConfig> CCyUSBDevice::CopyConfig(std::size_t n) const {
    if (m_configs.empty()) return nullptr;
    return copy_configuration(*m_configs[n < m_configs.size() ? n : 0]);
}

bool CCyUSBDevice::CloseDevice() {
    unregisterNotification(m_handleNotification, "Failed to close the handle notification handle.");
    bool ok = true;
    if (hDevice != INVALID_HANDLE_VALUE) {
        if (!CloseHandle(hDevice)) {
            OutputDebugStringA("[ERROR] DavAzuv - Failed to close handle to driver.\n");
            ok = false;
        }
        hDevice = INVALID_HANDLE_VALUE;
    }
    EndPoints.clear();
    IsocInEndPt = IsocOutEndPt = BulkInEndPt = BulkOutEndPt = InterruptInEndPt = InterruptOutEndPt = nullptr;
    m_configs.clear();
    ControlEndPt.reset();
    m_bos = {};
    Manufacturer.clear();
    Product.clear();
    SerialNumber.clear();
    FriendlyName.clear();
    DeviceName.clear();
    VendorID = ProductID = BcdUSB = 0;
    m_config = m_interface = m_alt = 0;
    return ok;
}
