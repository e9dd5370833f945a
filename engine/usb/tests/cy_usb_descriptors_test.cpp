// The descriptor reader over descriptor sets as devices answer them: USB 2 and USB 3 sets, packet
// sizes, the BOS capabilities, malformed sets that must fail as a whole, and the small rules of
// the transfer interface (control time-outs in seconds, status texts).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "usb/cy_usb_descriptors.h"
#include "usb/usb_devices.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

qusb::DeviceIdentity identity(std::uint16_t bcdUsb) { return {0x04B4, 0x5701, bcdUsb, "USB FIP board"}; }

struct SetCase {
    std::uint16_t bcdUsb;
    std::uint16_t ep0Packet;
    std::uint16_t bulkPacket;
    bool bos;
};

class StandardSet : public ::testing::TestWithParam<SetCase> {};

TEST_P(StandardSet, ReadsDeviceConfigurationAndBos) {
    const SetCase c = GetParam();
    const qusb::DescriptorSet set = qusb::standardDescriptors(identity(c.bcdUsb));
    UsbDeviceDescriptorValues dev;
    ASSERT_TRUE(read_device_descriptor(set.device, dev));
    EXPECT_EQ(dev.bcdUSB, c.bcdUsb);
    EXPECT_EQ(dev.idVendor, 0x04B4);
    EXPECT_EQ(dev.idProduct, 0x5701);
    EXPECT_EQ(endpoint0_packet_size(dev.bcdUSB, dev.bMaxPacketSize0), c.ep0Packet);

    const bool companions = (c.bcdUsb >> 8) != 2;
    const auto config = build_configuration(set.configurations[0], companions, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(config);
    ASSERT_EQ(config->Interfaces.size(), 1u);
    const CCyUSBInterface& itf = *config->Interfaces[0];
    EXPECT_EQ(itf.bNumEndpoints, 2);
    EXPECT_EQ(itf.bAltSettings, 1);
    ASSERT_TRUE(itf.EndPoints[1] && itf.EndPoints[2]);
    EXPECT_FALSE(itf.EndPoints[0]) << "slot 0 is endpoint 0's";
    EXPECT_TRUE(itf.EndPoints[1]->bIn);
    EXPECT_EQ(itf.EndPoints[1]->Address, 0x81);
    EXPECT_FALSE(itf.EndPoints[2]->bIn);
    EXPECT_EQ(itf.EndPoints[1]->MaxPktSize, c.bulkPacket);
    EXPECT_NE(dynamic_cast<CCyBulkEndPoint*>(itf.EndPoints[1].get()), nullptr);

    BosCapabilities caps;
    EXPECT_EQ(!set.bos.empty(), c.bos);
    if (c.bos) {
        ASSERT_TRUE(decode_bos(set.bos, caps));
        EXPECT_TRUE(caps.hasUsb20Extension);
        EXPECT_TRUE(caps.hasSuperSpeed);
        EXPECT_EQ(caps.superSpeed.wSpeedsSupported, 0x0E);
    }
}

INSTANTIATE_TEST_SUITE_P(Usb, StandardSet,
                         ::testing::Values(SetCase{0x0200, 64, 512, false},
                                           // 1024-byte packets, bursts of 16 from the companion
                                           SetCase{0x0300, 512, 16384, true}, SetCase{0x0310, 512, 16384, true}));

struct PacketCase {
    std::uint8_t attributes;
    std::uint16_t wMaxPacketSize;
    Bytes companion;
    std::uint16_t expected;
};

TEST(EndpointPacketSize, FollowsMultiplierBurstAndIsochronousMult) {
    const PacketCase cases[] = {
        {2, 0x0200, {}, 512},
        {1, 0x1400, {}, 3072},  // high bandwidth: 1024 x 3
        {2, 0x0400, {6, 0x30, 3, 0, 0, 0}, 4096},
        {1, 0x0400, {6, 0x30, 1, 2, 0, 0}, 6144},  // 1024 x 2 bursts x 3
        {3, 0x0008, {}, 8},
    };
    for (const PacketCase& c : cases) {
        const Bytes d{7, 5, 0x82, c.attributes, static_cast<std::uint8_t>(c.wMaxPacketSize),
                      static_cast<std::uint8_t>(c.wMaxPacketSize >> 8), 1};
        CCyBulkEndPoint ep(INVALID_HANDLE_VALUE, d.data(), c.companion.empty() ? nullptr : c.companion.data());
        EXPECT_EQ(ep.MaxPktSize, c.expected) << std::hex << c.wMaxPacketSize;
    }
    EXPECT_EQ(endpoint0_packet_size(0x0200, 64), 64);
    EXPECT_EQ(endpoint0_packet_size(0x0300, 9), 512);
    EXPECT_EQ(endpoint0_packet_size(0x0300, 200), 32768) << "capped";
}

Bytes configWith(const Bytes& body) {
    Bytes c{9, 2, 0, 0, 1, 1, 0, 0x80, 50};
    c.reserve(c.size() + body.size());
    for (std::uint8_t b : body) c.push_back(b);
    c[2] = static_cast<std::uint8_t>(c.size());
    c[3] = static_cast<std::uint8_t>(c.size() >> 8);
    return c;
}

const Bytes kInterface{9, 4, 0, 0, 2, 0xFF, 0, 0, 0};
const Bytes kBulkIn{7, 5, 0x81, 2, 0, 2, 0};
const Bytes kBulkOut{7, 5, 0x01, 2, 0, 2, 0};

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

TEST(ConfigurationDescriptor, MalformedSetsFailAsAWhole) {
    Bytes longerThanGiven = configWith(join({kInterface, kBulkIn, kBulkOut}));
    longerThanGiven[2] = static_cast<std::uint8_t>(longerThanGiven[2] + 10);
    Bytes zeroLength = configWith(join({kInterface, kBulkIn, Bytes{0, 5, 0, 0, 0, 0, 0}}));
    Bytes tooManyEndpoints = configWith(join({Bytes{9, 4, 0, 0, 40, 0xFF, 0, 0, 0}, kBulkIn}));
    Bytes shortEndpoint = configWith(join({kInterface, Bytes{5, 5, 0x81, 2, 0}, kBulkOut}));
    Bytes missingEndpoint = configWith(join({kInterface, kBulkIn}));
    Bytes shortInterface = configWith(Bytes{5, 4, 0, 0, 0});
    Bytes manySkipped = configWith(kInterface);
    for (int i = 0; i < 12; ++i) manySkipped.insert(manySkipped.end(), {3, 0x21, 0});
    manySkipped.insert(manySkipped.end(), kBulkIn.begin(), kBulkIn.end());
    manySkipped.insert(manySkipped.end(), kBulkOut.begin(), kBulkOut.end());
    manySkipped[2] = static_cast<std::uint8_t>(manySkipped.size());
    manySkipped[3] = static_cast<std::uint8_t>(manySkipped.size() >> 8);
    Bytes shortCompanion = configWith(join({kInterface, kBulkIn, Bytes{3, 0x30, 0}, kBulkOut}));
    const struct {
        const char* name;
        Bytes bytes;
        bool companions;
    } cases[] = {
        {"empty", {}, false},
        {"header only, short", {9, 2, 9}, false},
        {"wrong type", {9, 3, 9, 0, 0, 1, 0, 0, 0}, false},
        {"total length beyond the bytes", longerThanGiven, false},
        {"total length below the header", {9, 2, 4, 0, 0, 1, 0, 0x80, 50}, false},
        {"a descriptor of length 0", zeroLength, false},
        {"more endpoints than slots", tooManyEndpoints, false},
        {"a short endpoint descriptor", shortEndpoint, false},
        {"fewer endpoints than announced", missingEndpoint, false},
        {"a short interface descriptor", shortInterface, false},
        {"more than 11 other descriptors", manySkipped, false},
        {"a short companion", shortCompanion, true},
    };
    for (const auto& c : cases) EXPECT_FALSE(build_configuration(c.bytes, c.companions, INVALID_HANDLE_VALUE)) << c.name;

    // Eleven other descriptors are skipped; a class descriptor between endpoints is fine.
    Bytes elevenSkipped = configWith(kInterface);
    for (int i = 0; i < 11; ++i) elevenSkipped.insert(elevenSkipped.end(), {3, 0x21, 0});
    elevenSkipped.insert(elevenSkipped.end(), kBulkIn.begin(), kBulkIn.end());
    elevenSkipped.insert(elevenSkipped.end(), kBulkOut.begin(), kBulkOut.end());
    elevenSkipped[2] = static_cast<std::uint8_t>(elevenSkipped.size());
    EXPECT_TRUE(build_configuration(elevenSkipped, false, INVALID_HANDLE_VALUE));
    // Two alternate settings of interface 0.
    const auto alt = build_configuration(
        configWith(join({kInterface, kBulkIn, kBulkOut, Bytes{9, 4, 0, 1, 0, 0xFF, 0, 0, 0}})), false, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(alt);
    ASSERT_EQ(alt->Interfaces.size(), 2u);
    EXPECT_EQ(alt->Interfaces[0]->bAltSettings, 2);
}

TEST(DeviceAndBosDescriptors, MalformedOnesAreRefused) {
    UsbDeviceDescriptorValues dev;
    Bytes device = qusb::standardDescriptors(identity(0x0200)).device;
    EXPECT_FALSE(read_device_descriptor(Bytes(device.begin(), device.begin() + 17), dev)) << "short";
    device[1] = 2;
    EXPECT_FALSE(read_device_descriptor(device, dev)) << "wrong type";

    BosCapabilities caps;
    Bytes bos = qusb::standardDescriptors(identity(0x0300)).bos;
    EXPECT_TRUE(decode_bos(bos, caps));
    Bytes cut = bos;
    cut[2] = static_cast<std::uint8_t>(bos.size() + 1);
    EXPECT_FALSE(decode_bos(bos.size() > 0 ? Bytes(cut) : Bytes{}, caps)) << "total length beyond the bytes";
    Bytes zero = bos;
    zero[5] = 0;  // first capability of length 0
    EXPECT_FALSE(decode_bos(zero, caps));
    Bytes shortSs = bos;
    shortSs[12] = 8;  // SuperSpeed capability shorter than its fields
    shortSs.resize(shortSs.size() - 2);
    shortSs[2] = static_cast<std::uint8_t>(shortSs.size());
    EXPECT_FALSE(decode_bos(shortSs, caps));
    Bytes otherKind = {5, 0x0F, 12, 0, 2, 4, 0x10, 0x0A, 0, 7, 0x10, 2};
    otherKind.resize(12);
    EXPECT_TRUE(decode_bos(otherKind, caps)) << "a capability of another kind ends the walk";
    EXPECT_FALSE(caps.hasUsb20Extension);
}

TEST(TransferRules, ControlTimeOutsAreWholeSecondsAndStatusesHaveTexts) {
    const std::pair<std::uint32_t, std::uint32_t> timeouts[] = {{0, 0}, {1, 1}, {500, 1}, {999, 1},
                                                                {1000, 1}, {2500, 2}, {10000, 10}};
    for (const auto& [ms, seconds] : timeouts) EXPECT_EQ(control_timeout_seconds(ms), seconds) << ms;
    EXPECT_EQ(UsbdStatusText(0), "[state=SUCCESS status=USBD_STATUS_SUCCESS]");
    EXPECT_EQ(UsbdStatusText(0xC0000004), " [state=STALLED status=USBD_STATUS_STALL_PID]");
    EXPECT_EQ(UsbdStatusText(0x80000300), " [state=ERROR   status=USBD_STATUS_INVALID_PARAMETER]");
    EXPECT_EQ(UsbdStatusText(0x40000123), " [state=PENDING status=UNKNOWN]");
}

}  // namespace
