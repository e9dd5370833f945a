// CCyUSBDevice: one device of the USB device driver's interface class, opened by its position in
// the class's interface list. Open reads the descriptors over endpoint 0, builds the configuration
// tree, selects configuration 0 and the interface of the current alternate setting, and hands out
// its endpoints: the table of the selected interface (slot 0 endpoint 0) and the first
// isochronous, bulk and interrupt endpoint of each direction.
//
// Contract: no lock. Nothing opens at construction unless asked; OpenDevice closes first;
// CloseDevice never throws and the destructor closes. Endpoint pointers are valid while the device
// stays open. Malformed descriptors fail the open (the device is closed again) with a debugger line.
//
// Notifications: given a window, the object registers it for the arrival and removal of the
// class's devices for the object's whole life (the window hears a board that arrives also after a
// close), and for the removal of the opened device while it is open. A registration that cannot
// be closed is reported on the debugger output, never thrown.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "cy_usb_descriptors.h"
#include "cy_usb_endpoint.h"
#include "win32/windows.h"

// The USB device driver's device interface class.
inline constexpr GUID CYUSBDRV_GUID = {0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

class CCyUSBDevice {
public:
    explicit CCyUSBDevice(const GUID& interfaceClass = CYUSBDRV_GUID);
    // `notifyWindow`: the window that hears the class's devices arrive and leave (null: none);
    // `openFirst`: open device 0 at once.
    CCyUSBDevice(HANDLE notifyWindow, const GUID& interfaceClass, bool openFirst);
    virtual ~CCyUSBDevice();
    CCyUSBDevice(const CCyUSBDevice&) = delete;
    CCyUSBDevice& operator=(const CCyUSBDevice&) = delete;

    // Present interfaces of the class.
    std::uint8_t CountInterfaces();
    // A handle of its own on the index-th interface of the class (read and write, shared,
    // overlapped), or INVALID_HANDLE_VALUE with LastError set. The caller closes it.
    HANDLE OpenInterfaceHandle(std::uint8_t index);
    bool OpenDevice(std::uint8_t index);
    // Closes the handle and frees the descriptors and the tree. False when closing the handle
    // failed (the failure is written to the debugger output).
    bool CloseDevice();
    bool IsOpen() const { return hDevice != INVALID_HANDLE_VALUE; }
    // One synchronous exchange on the same buffer: true only when the driver returned `size` bytes.
    bool DriverIoControl(std::uint32_t code, void* buffer, std::uint32_t size);
    // The recovery request, sent on a handle of the index-th interface of its own.
    bool Recover(std::uint8_t index);
    // The vendor and product identifiers in the index-th interface's device path ("vid_XXXX",
    // "pid_XXXX"): known without opening the device, so also for a device in use.
    bool InterfaceIds(std::uint8_t index, std::uint16_t& vendor, std::uint16_t& product);
    bool SetConfig(std::uint8_t config);
    bool SetAltIntfc(std::uint8_t alt);

    HANDLE DeviceHandle() const { return hDevice; }
    std::uint8_t ConfigCount() const { return static_cast<std::uint8_t>(m_configs.size()); }
    const CCyUSBConfig* Config(std::size_t n) const { return n < m_configs.size() ? m_configs[n].get() : nullptr; }
    // A copy of configuration n (configuration 0 when n is beyond the last) with its interfaces and
    // fresh endpoint objects of the same kinds, owned by the caller; null while the device is closed.
    std::unique_ptr<CCyUSBConfig> CopyConfig(std::size_t n) const;
    const BosCapabilities& Bos() const { return m_bos; }

    // Device descriptor values.
    std::uint16_t BcdUSB = 0, VendorID = 0, ProductID = 0, BcdDevice = 0;
    std::uint8_t DevClass = 0, DevSubClass = 0, DevProtocol = 0, MaxPacketSize0 = 0;
    std::uint16_t MaxPacketSize = 0;  // endpoint 0's, in bytes
    std::uint8_t StrLangIndex = 0, StrMfgIndex = 0, StrProdIndex = 0, StrSerialIndex = 0, NumConfigs = 0;
    std::uint16_t StrLangID = 0;
    std::u16string Manufacturer, Product, SerialNumber;
    std::string FriendlyName, DeviceName;
    std::uint32_t DriverVersion = 0, UsbdiVersion = 0;
    std::uint8_t USBAddress = 0;
    bool bHighSpeed = false, bSuperSpeed = false;

    std::unique_ptr<CCyControlEndPoint> ControlEndPt;
    std::vector<CCyUSBEndPoint*> EndPoints;  // the selected interface's; slot 0 endpoint 0
    CCyUSBEndPoint* IsocInEndPt = nullptr;
    CCyUSBEndPoint* IsocOutEndPt = nullptr;
    CCyUSBEndPoint* BulkInEndPt = nullptr;
    CCyUSBEndPoint* BulkOutEndPt = nullptr;
    CCyUSBEndPoint* InterruptInEndPt = nullptr;
    CCyUSBEndPoint* InterruptOutEndPt = nullptr;

    std::uint32_t UsbdStatus = 0, NtStatus = 0, LastError = 0;

private:
    std::string interfacePath(std::uint8_t index, DWORD& error);
    // GET_DESCRIPTOR of `type` and `index` into `out`: reads `first` bytes, then the length that
    // `lengthOf` finds in them. False on a failed transfer or a length out of bounds.
    bool getDescriptor(std::uint8_t type, std::uint8_t index, std::uint16_t language, std::size_t first,
                       std::size_t (*lengthOf)(const std::vector<std::uint8_t>&), std::vector<std::uint8_t>& out);
    bool readString(std::uint8_t index, std::u16string& out);
    bool readDescriptors();
    void failDescriptors(const char* message, const char* caption);

    void unregisterNotification(HDEVNOTIFY& notification, const char* failure);

    const GUID m_interfaceClass;
    const HANDLE m_notifyWindow = nullptr;
    HDEVNOTIFY m_deviceNotification = nullptr;  // the class's arrivals and removals, for the object's life
    HDEVNOTIFY m_handleNotification = nullptr;  // the opened device's removal, while it is open
    HANDLE hDevice = INVALID_HANDLE_VALUE;
    std::vector<std::unique_ptr<CCyUSBConfig>> m_configs;
    BosCapabilities m_bos;
    std::uint8_t m_config = 0, m_interface = 0, m_alt = 0;
};
