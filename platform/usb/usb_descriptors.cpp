#include <string>

#include "usb/usb_devices.h"

namespace qusb {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

Bytes stringDescriptor(const std::string& text) {
    Bytes d{0, 3};
    for (char c : text.substr(0, 126)) put16(d, static_cast<std::uint8_t>(c));
    d[0] = static_cast<std::uint8_t>(d.size());
    return d;
}

}  // namespace

DescriptorSet standardDescriptors(const DeviceIdentity& identity) {
    const bool superSpeed = identity.bcdUsb >= 0x0300;
    DescriptorSet set;
    Bytes& dev = set.device;
    dev = {18, 1};
    put16(dev, identity.bcdUsb);
    dev.insert(dev.end(), {0xFF, 0, 0, static_cast<std::uint8_t>(superSpeed ? 9 : 64)});
    put16(dev, identity.vendorId);
    put16(dev, identity.productId);
    put16(dev, 0x0100);
    dev.insert(dev.end(), {1, 2, 3, 1});

    const std::uint16_t packet = superSpeed ? 1024 : 512;
    Bytes config{9, 2, 0, 0, 1, 1, 0, 0x80, 50};
    config.insert(config.end(), {9, 4, 0, 0, 2, 0xFF, 0, 0, 0});
    for (const std::uint8_t address : {std::uint8_t{0x81}, std::uint8_t{0x01}}) {
        config.insert(config.end(), {7, 5, address, 2});
        put16(config, packet);
        config.push_back(0);
        if (superSpeed) config.insert(config.end(), {6, 0x30, 15, 0, 0, 0});
    }
    config[2] = static_cast<std::uint8_t>(config.size());
    config[3] = static_cast<std::uint8_t>(config.size() >> 8);
    set.configurations.push_back(std::move(config));

    set.strings = {Bytes{4, 3, 0x09, 0x04}, stringDescriptor("Talvenor"), stringDescriptor(identity.name),
                   stringDescriptor("FIP" + std::to_string(identity.productId))};
    if (superSpeed) {
        // USB 2.0 extension (LPM) and SuperSpeed capability.
        set.bos = {5, 0x0F, 0, 0, 2, 7, 0x10, 2, 2, 0, 0, 0, 10, 0x10, 3, 0, 0x0E, 0, 1, 10, 0xFF, 0x07};
        set.bos[2] = static_cast<std::uint8_t>(set.bos.size());
    }
    return set;
}

}  // namespace qusb
