// Reading the descriptors that a USB device answers over endpoint 0: the device descriptor, the
// BOS capabilities and the configuration tree (configuration, interfaces, endpoint objects).
// The bytes come from the device and are not trusted: every walk is bounded by the bytes it was
// given and by the counts below, and a malformed descriptor set fails as a whole.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "cy_usb_endpoint.h"

struct UsbDeviceDescriptorValues {
    std::uint16_t bcdUSB = 0;
    std::uint8_t bDeviceClass = 0, bDeviceSubClass = 0, bDeviceProtocol = 0, bMaxPacketSize0 = 0;
    std::uint16_t idVendor = 0, idProduct = 0, bcdDevice = 0;
    std::uint8_t iManufacturer = 0, iProduct = 0, iSerialNumber = 0, bNumConfigurations = 0;
};
// False when the bytes are no device descriptor (short, wrong length or type).
bool read_device_descriptor(std::span<const std::uint8_t> bytes, UsbDeviceDescriptorValues& out);
// Endpoint 0's packet size: 2^bMaxPacketSize0 from USB 3.0 on (capped at 2^15), else the value.
std::uint16_t endpoint0_packet_size(std::uint16_t bcdUSB, std::uint8_t bMaxPacketSize0);

struct Usb20ExtensionCap {
    std::uint8_t bLength = 0, bDescriptorType = 0, bDevCapabilityType = 0;
    std::uint32_t bmAttributes = 0;
};
struct SuperSpeedCap {
    std::uint8_t bLength = 0, bDescriptorType = 0, bDevCapabilityType = 0, bmAttributes = 0;
    std::uint16_t wSpeedsSupported = 0;
    std::uint8_t bFunctionalitySupport = 0, bU1DevExitLat = 0;
    std::uint16_t bU2DevExitLat = 0;
};
struct ContainerIdCap {
    std::uint8_t bLength = 0, bDescriptorType = 0, bDevCapabilityType = 0, bReserved = 0;
    std::array<std::uint8_t, 16> ContainerID{};
};
struct BosCapabilities {
    bool hasUsb20Extension = false, hasSuperSpeed = false, hasContainerId = false;
    Usb20ExtensionCap usb20;
    SuperSpeedCap superSpeed;
    ContainerIdCap containerId;
};
// Decodes the whole BOS descriptor (wTotalLength bytes). A capability of another kind ends the
// walk; false when the descriptor or a capability is malformed.
bool decode_bos(std::span<const std::uint8_t> bytes, BosCapabilities& out);

inline constexpr std::size_t kMaxInterfaces = 255;
inline constexpr std::size_t kEndpointSlots = 32;  // slot 0 is endpoint 0's
inline constexpr int kMaxSkippedDescriptors = 11;

struct CCyUSBInterface {
    std::uint8_t bLength = 0, bDescriptorType = 0, bInterfaceNumber = 0, bAlternateSetting = 0, bNumEndpoints = 0,
                 bInterfaceClass = 0, bInterfaceSubClass = 0, bInterfaceProtocol = 0, iInterface = 0;
    std::uint8_t bAltSettings = 0;
    std::uint16_t wTotalLength = 0;  // descriptor bytes the record covers
    std::array<std::unique_ptr<CCyUSBEndPoint>, kEndpointSlots> EndPoints;
};

struct CCyUSBConfig {
    std::uint8_t bLength = 0, bDescriptorType = 0;
    std::uint16_t wTotalLength = 0;
    std::uint8_t bNumInterfaces = 0, bConfigurationValue = 0, iConfiguration = 0, bmAttributes = 0, MaxPower = 0;
    std::vector<std::unique_ptr<CCyUSBInterface>> Interfaces;
};

// A copy of a configuration tree with fresh endpoint objects of the same kinds (statuses cleared,
// default time-out, not yet direct), on the same device handle.
std::unique_ptr<CCyUSBConfig> copy_configuration(const CCyUSBConfig& config);
// Builds the tree of one whole configuration descriptor; endpoint objects get `device` as their
// handle. `companions`: take SuperSpeed endpoint companions. Null when the bytes are malformed.
std::unique_ptr<CCyUSBConfig> build_configuration(std::span<const std::uint8_t> bytes, bool companions, HANDLE device);
