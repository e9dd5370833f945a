// The descriptor reader on any bytes a device may answer with: the device descriptor, the BOS
// descriptor and the configuration tree, with and without SuperSpeed companions. Every tree it
// builds must stay within its bounds: at most 255 interfaces, endpoints only in the announced
// slots, and descriptor lengths within the bytes given.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "cy_usb_descriptors.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    UsbDeviceDescriptorValues device;
    if (read_device_descriptor(bytes, device) && size < 18) std::abort();
    (void)endpoint0_packet_size(device.bcdUSB, device.bMaxPacketSize0);
    BosCapabilities caps;
    if (decode_bos(bytes, caps) && size < 5) std::abort();
    for (const bool companions : {false, true}) {
        const auto config = build_configuration(bytes, companions, INVALID_HANDLE_VALUE);
        if (!config) continue;
        if (config->wTotalLength > size || config->Interfaces.size() > kMaxInterfaces) std::abort();
        for (const auto& itf : config->Interfaces) {
            if (itf->EndPoints[0] || itf->bNumEndpoints >= kEndpointSlots || itf->wTotalLength > size) std::abort();
            for (std::size_t slot = itf->bNumEndpoints + 1u; slot < kEndpointSlots; ++slot)
                if (itf->EndPoints[slot]) std::abort();
        }
    }
    return 0;
}
