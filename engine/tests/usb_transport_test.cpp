// The USB device classes and the bulk USB transport over the USB device driver stand-in: USB 2
// and USB 3 devices, malformed descriptor sets, the exclusive open, bytes both ways while the
// device streams, close and reopen, failed, short and stuck transfers, a device that leaves, the
// enumeration of devices in use, configuration copies, interface handles and the device record.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <typeinfo>
#include <vector>

#include "engine_errors.h"
#include "board_device.h"
#include "stack_fixture.h"
#include "usb/cy_usb_device.h"
#include "usb/usb_board.h"
#include "usb/dav_azuv.h"
#include "usb/transport_factory.h"
#include "usb/usb_cyp_com.h"
#include "usb/usb_driver.h"
#include "usb/usb_transfer.h"
#include "usb/usb_enumeration.h"
#include "usb_fake_device.h"

// Found by argument lookup: the record is a global type of the exported interface.
static bool operator==(const ActiveDeviceInfo& a, const ActiveDeviceInfo& b) {
    return a.boardType == b.boardType && a.boardNumber == b.boardNumber && a.zero == b.zero && a.used == b.used;
}
static void PrintTo(const ActiveDeviceInfo& r, std::ostream* out) {
    *out << "{" << r.boardType << ", " << r.boardNumber << ", " << r.zero << ", " << r.used << "}";
}

namespace corvix::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using ::testing::ElementsAre;

// Takes received bytes until `count` have come or the limit has passed.
Bytes collect(CAbstractCom& com, std::size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    Bytes all, chunk;
    const auto end = std::chrono::steady_clock::now() + limit;
    while (all.size() < count && std::chrono::steady_clock::now() < end) {
        com.wait_rx_data();
        com.get_rx_data(chunk);
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return all;
}

Bytes pattern(std::size_t offset, std::size_t count) {
    Bytes b(count);
    for (std::size_t i = 0; i < count; ++i) b[i] = static_cast<std::uint8_t>((offset + i) * 7);
    return b;
}

class UsbHost : public EngineOnMachine {
protected:
    void SetUp() override { boot(sim::MachineDescription{}); }
    void TearDown() override {
        qusb::setDriverFaults({});
        qusb::detachAll();
        EngineOnMachine::TearDown();
    }
    std::shared_ptr<FakeUsbDevice> attach(qusb::DeviceIdentity id, std::optional<qusb::DescriptorSet> set = {}) {
        auto device = std::make_shared<FakeUsbDevice>(std::move(id), std::move(set));
        qusb::attach(device);
        return device;
    }
};

TEST_F(UsbHost, OpensUsb2AndUsb3DevicesAndFindsTheirBulkEndpoints) {
    attach(boardIdentity(0x0200));
    attach({0x04B4, 0x5701, 0x0300, "SuperSpeed board"});
    CCyUSBDevice device;
    EXPECT_EQ(device.CountInterfaces(), 2);
    const struct {
        std::uint8_t index;
        std::uint16_t bcd, ep0, bulk;
        const char* name;
        bool superSpeed;
    } cases[] = {{0, 0x0200, 64, 512, "USB FIP board", false}, {1, 0x0300, 512, 16384, "SuperSpeed board", true}};
    for (const auto& c : cases) {
        ASSERT_TRUE(device.OpenDevice(c.index)) << int(c.index);
        EXPECT_EQ(device.BcdUSB, c.bcd);
        EXPECT_EQ(device.VendorID, 0x04B4);
        EXPECT_EQ(device.ProductID, 0x5701);
        EXPECT_EQ(device.MaxPacketSize, c.ep0);
        EXPECT_EQ(device.Manufacturer, u"Talvenor");
        EXPECT_EQ(device.DeviceName, c.name);
        EXPECT_EQ(device.bSuperSpeed, c.superSpeed);
        EXPECT_EQ(device.Bos().hasSuperSpeed, c.superSpeed);
        ASSERT_TRUE(device.BulkInEndPt && device.BulkOutEndPt);
        EXPECT_EQ(device.BulkInEndPt->MaxPktSize, c.bulk);
        EXPECT_TRUE(device.BulkInEndPt->bDirect);
        EXPECT_EQ(device.EndPoints.size(), 3u);
        EXPECT_EQ(device.EndPoints[0], device.ControlEndPt.get());
    }
    EXPECT_FALSE(device.OpenDevice(2)) << "no third device";
    EXPECT_FALSE(device.IsOpen());
}

TEST_F(UsbHost, TheDriverAdmitsOneHandlePerDevice) {
    auto board = attach(boardIdentity());
    CCyUSBDevice first, second;
    ASSERT_TRUE(first.OpenDevice(0));
    EXPECT_FALSE(second.OpenDevice(0));
    EXPECT_EQ(second.LastError, ERROR_ACCESS_DENIED);
    std::uint16_t vendor = 0, product = 0;
    EXPECT_TRUE(second.InterfaceIds(0, vendor, product)) << "the identifiers of a device in use";
    EXPECT_EQ(vendor, 0x04B4);
    EXPECT_EQ(product, 0x5701);
    EXPECT_TRUE(first.CloseDevice());
    EXPECT_FALSE(board->isOpen());
    EXPECT_TRUE(second.OpenDevice(0));
}

TEST_F(UsbHost, ATransferThatNeverEndsIsAbortedAfterTheEndpointTimeOut) {
    auto board = attach(boardIdentity());
    CCyUSBDevice device;
    ASSERT_TRUE(device.OpenDevice(0));
    qusb::setDriverFaults({.holdBulkOut = true});
    device.BulkOutEndPt->TimeOut = 300;
    std::uint8_t frame[7] = {0x90, 0x11, 1, 4, 0, 0, 0};
    std::uint32_t length = sizeof frame;
    const std::uint64_t before = clock.now();
    EXPECT_FALSE(device.BulkOutEndPt->TransferSync(frame, length));
    const std::uint64_t waited = clock.now() - before;
    EXPECT_GE(waited, 300ull * 10000);
    EXPECT_LT(waited, 350ull * 10000) << "the first abort ends it";
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(device.BulkOutEndPt->UsbdStatus, 0xC0010000u) << "cancelled";
    qusb::setDriverFaults({});
    length = sizeof frame;
    EXPECT_TRUE(device.BulkOutEndPt->TransferSync(frame, length));
    EXPECT_EQ(length, sizeof frame);
    EXPECT_THAT(board->received(), ElementsAre(0x90, 0x11, 1, 4, 0, 0, 0));
}

TEST_F(UsbHost, MalformedDescriptorsFailTheOpenAndReleaseTheDevice) {
    auto set = [](std::uint16_t bcd, auto change) {
        qusb::DescriptorSet s = qusb::standardDescriptors(boardIdentity(bcd));
        change(s);
        return s;
    };
    const struct {
        const char* name;
        qusb::DescriptorSet set;
        std::uint16_t bcd;
    } cases[] = {
        {"device descriptor of another type", set(0x0200, [](auto& s) { s.device[1] = 9; }), 0x0200},
        {"device descriptor cut short", set(0x0200, [](auto& s) { s.device.resize(10); }), 0x0200},
        {"total length beyond the descriptor", set(0x0200, [](auto& s) { s.configurations[0][2] = 200; }), 0x0200},
        {"endpoint of length 0", set(0x0200, [](auto& s) { s.configurations[0][18] = 0; }), 0x0200},
        {"no configuration answered", set(0x0200, [](auto& s) { s.configurations.clear(); }), 0x0200},
        {"no configuration announced", set(0x0200, [](auto& s) { s.device[17] = 0; }), 0x0200},
        {"BOS capability of length 0", set(0x0300, [](auto& s) { s.bos[5] = 0; }), 0x0300},
        {"no BOS on a USB 3 device", set(0x0300, [](auto& s) { s.bos.clear(); }), 0x0300},
    };
    for (const auto& c : cases) {
        qusb::detachAll();
        auto device = attach(boardIdentity(c.bcd), c.set);
        CCyUSBDevice host;
        EXPECT_FALSE(host.OpenDevice(0)) << c.name;
        EXPECT_FALSE(host.IsOpen()) << c.name;
        EXPECT_FALSE(host.BulkInEndPt) << c.name;
        EXPECT_FALSE(device->isOpen()) << c.name;
        CUsbCypCom com;
        EXPECT_EQ(com.open(0), kComOpenFailed) << c.name;
        EXPECT_EQ(com.device_info()->kind, CComInfo::KIND_NONE) << c.name;
    }
    // Well formed, but no bulk endpoint: the transport refuses it and lets it go.
    qusb::detachAll();
    qusb::DescriptorSet noBulk = qusb::standardDescriptors(boardIdentity());
    noBulk.configurations[0] = {9, 2, 18, 0, 1, 1, 0, 0x80, 50, 9, 4, 0, 0, 0, 0xFF, 0, 0, 0};
    auto device = attach(boardIdentity(), noBulk);
    CUsbCypCom com;
    EXPECT_EQ(com.open(0), kComNoEndpoint);
    EXPECT_FALSE(com.is_open());
    EXPECT_FALSE(device->isOpen());
}

class BulkStreaming : public UsbHost, public ::testing::WithParamInterface<std::uint16_t> {};

TEST_P(BulkStreaming, BytesFlowBothWaysWhileTheDeviceStreams) {
    auto device = attach(boardIdentity(GetParam()));
    CUsbCypCom com;
    ASSERT_EQ(com.open(0), 0);
    EXPECT_TRUE(com.is_open());
    EXPECT_EQ(com.device_info()->busy, 1);
    EXPECT_EQ(com.device_info()->kind, CComInfo::KIND_BULK_USB);
    constexpr std::size_t kChunks = 300, kChunkBytes = 97;
    std::thread streamer([&] {
        for (std::size_t i = 0; i < kChunks; ++i) device->push(pattern(i * kChunkBytes, kChunkBytes));
    });
    Bytes sent;
    for (int k = 0; k < 300; ++k) {
        const Bytes frame{0x90, 0x11, 1, static_cast<std::uint8_t>(k), 0, 0, 0};
        ASSERT_EQ(com.write(frame.data(), static_cast<std::uint32_t>(frame.size())), 0);
        sent.insert(sent.end(), frame.begin(), frame.end());
    }
    streamer.join();
    EXPECT_EQ(collect(com, kChunks * kChunkBytes), pattern(0, kChunks * kChunkBytes));
    EXPECT_EQ(device->received(), sent);
    EXPECT_EQ(com.close(), 0);
    EXPECT_FALSE(device->isOpen()) << "a closed transport lets the device go";
    EXPECT_EQ(com.close(), kComNotOpen);
    EXPECT_EQ(com.write(sent.data(), 7), kComNotOpen);
}

TEST_P(BulkStreaming, CloseAndReopenWhileTheDeviceStreams) {
    auto device = attach(boardIdentity(GetParam()));
    device->setEcho(true);
    std::atomic<bool> done{false};
    std::thread streamer([&] {
        const Bytes chunk = pattern(0, 64);
        while (!done) {
            device->push(chunk);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    CUsbCypCom com;
    for (int round = 0; round < 15; ++round) {
        ASSERT_EQ(com.open(0), 0) << round;
        const Bytes frame{0x90, 0x30, 1, 1, 0, 0, 0};
        ASSERT_EQ(com.write(frame.data(), 7), 0) << round;
        EXPECT_FALSE(collect(com, 64).empty()) << round;
        ASSERT_EQ(com.close(), 0) << round;
    }
    done = true;
    streamer.join();
}

INSTANTIATE_TEST_SUITE_P(Usb, BulkStreaming, ::testing::Values(0x0200, 0x0300),
                         [](const auto& info) { return info.param == 0x0200 ? "Usb2" : "Usb3"; });

TEST_F(UsbHost, FailedShortAndStuckWritesReportTheWriteCodeAndLeaveTheTransportUsable) {
    auto device = attach(boardIdentity());
    CUsbCypCom com;
    ASSERT_EQ(com.open(0), 0);
    const Bytes frame{0x90, 0x11, 1, 4, 0, 0, 0};
    const qusb::DriverFaults faults[] = {{.failBulkOut = true}, {.holdBulkOut = true}, {.shortBulkOut = 3}};
    for (const qusb::DriverFaults& f : faults) {
        qusb::setDriverFaults(f);
        EXPECT_EQ(com.write(frame.data(), 7), kComWriteFailed);
        qusb::setDriverFaults({});
        device->clearReceived();
        EXPECT_EQ(com.write(frame.data(), 7), 0);
        EXPECT_EQ(device->received(), frame);
    }
    EXPECT_EQ(com.close(), 0);
}

TEST_F(UsbHost, ADeviceThatLeavesFailsTheTransferAndTheNextOpen) {
    auto device = attach(boardIdentity());
    CUsbCypCom com;
    ASSERT_EQ(com.open(0), 0);
    qusb::detach(device.get());
    const Bytes frame{0x90, 0x11, 1, 4, 0, 0, 0};
    EXPECT_EQ(com.write(frame.data(), 7), kComWriteFailed);
    EXPECT_EQ(com.close(), 0);
    EXPECT_EQ(com.open(0), kComOpenFailed);
}

TEST_F(UsbHost, AFailedBulkInTransferEndsTheReaderAndCloseStillReturns) {
    auto device = attach(boardIdentity());
    CUsbCypCom com;
    ASSERT_EQ(com.open(0), 0);
    device->push(pattern(0, 10));
    EXPECT_EQ(collect(com, 10), pattern(0, 10));
    qusb::setDriverFaults({.failBulkIn = true});
    device->push(pattern(0, 10));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (com.cycle_count() < 2 && std::chrono::steady_clock::now() < end) std::this_thread::yield();
    device->push(pattern(0, 10));
    EXPECT_TRUE(collect(com, 1, std::chrono::milliseconds(200)).empty()) << "the reader has ended";
    EXPECT_EQ(com.close(), 0);
    ASSERT_EQ(com.open(0), 0) << "a new open starts a new reader";
    device->push(pattern(5, 10));
    EXPECT_EQ(collect(com, 10), pattern(5, 10));
}

TEST_F(UsbHost, EnumerationListsDevicesInUseWithTheirUsedFlag) {
    attach(boardIdentity());
    attach({0x1234, 0x0001, 0x0200, "Other device"});
    CUsbCypCom holder;
    ASSERT_EQ(holder.open(0), 0);

    const CypInfoList bulk = cyp_device_list();
    ASSERT_EQ(bulk.size(), 2u);
    EXPECT_EQ(bulk[0]->busy, 1);
    EXPECT_EQ(bulk[0]->vendor_id, 0x04B4) << "named by its device path";
    EXPECT_EQ(bulk[1]->busy, 0);
    EXPECT_EQ(bulk[1]->vendor_id, 0x1234);
    EXPECT_EQ(bulk[1]->description, "Other device");
    EXPECT_EQ(bulk[1]->usb2, 1);
    const FtdInfoList ftdi = ftd2xx_device_list();
    ASSERT_EQ(ftdi.size(), 2u);
    EXPECT_EQ(ftdi[0]->busy, 1);
    EXPECT_EQ(ftdi[1]->busy, 0);

    std::vector<UsbBoardRecord> records(kMaxUsbBoardRecords);
    std::uint8_t count = 0;
    enumerate_usb_boards(records.data(), count);
    ASSERT_EQ(count, 4);
    EXPECT_EQ(records[0].kind, CComInfo::KIND_FTDI);
    EXPECT_EQ(records[0].vendor_id, 0);
    EXPECT_EQ(records[1].kind, CComInfo::KIND_FTDI);
    EXPECT_EQ(records[2].kind, CComInfo::KIND_BULK_USB);
    EXPECT_EQ(records[2].busy, 1);
    EXPECT_EQ(records[3].product_id, 0x0001);

    const UsbBoardFlags flags = usb_board_flags();
    EXPECT_EQ(flags.count, 1) << "only the FIP board counts";
    EXPECT_THAT(flags.active, ElementsAre(1, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_THAT(flags.used, ElementsAre(1, 0, 0, 0, 0, 0, 0, 0, 0));
    EXPECT_EQ(holder.close(), 0);
    EXPECT_EQ(usb_board_flags().used[0], 0);
}

// What the device classes offer beside the transport's needs: a configuration copied with
// endpoint objects of its own, a handle on any interface, the bulk lookup by serial number and the
// board object's record of its device.
TEST_F(UsbHost, ConfigurationCopiesInterfaceHandlesAndDeviceRecords) {
    attach(boardIdentity());
    attach({0x1234, 0x0001, 0x0300, "Other device"});
    CCyUSBDevice device;
    EXPECT_FALSE(device.CopyConfig(0)) << "nothing to copy while closed";
    ASSERT_TRUE(device.OpenDevice(1));
    device.BulkInEndPt->LastError = 997;
    for (std::size_t n : {0u, 5u}) {
        const auto copy = device.CopyConfig(n);
        ASSERT_TRUE(copy) << "configuration " << n << ", else the first";
        const CCyUSBConfig& original = *device.Config(0);
        EXPECT_EQ(copy->wTotalLength, original.wTotalLength);
        ASSERT_EQ(copy->Interfaces.size(), original.Interfaces.size());
        for (std::size_t slot = 1; slot <= 2; ++slot) {
            const CCyUSBEndPoint* mine = copy->Interfaces[0]->EndPoints[slot].get();
            const CCyUSBEndPoint* theirs = original.Interfaces[0]->EndPoints[slot].get();
            ASSERT_TRUE(mine && theirs);
            EXPECT_NE(mine, theirs) << "an object of its own";
            EXPECT_EQ(typeid(*mine), typeid(*theirs));
            EXPECT_EQ(mine->Address, theirs->Address);
            EXPECT_EQ(mine->MaxPktSize, theirs->MaxPktSize);
            EXPECT_EQ(mine->LastError, 0u) << "fresh";
            EXPECT_FALSE(mine->bDirect);
        }
    }
    const auto kept = device.CopyConfig(0);
    EXPECT_TRUE(device.CloseDevice());
    EXPECT_EQ(kept->Interfaces[0]->EndPoints[1]->MaxPktSize, 16384) << "the copy outlives the device's tree";

    HANDLE handle = device.OpenInterfaceHandle(0);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    char name[256] = {};
    DWORD returned = 0;
    EXPECT_TRUE(DeviceIoControl(handle, qusb::ioctl::kGetDeviceName, name, sizeof name, name, sizeof name, &returned,
                                nullptr));
    EXPECT_STREQ(name, "USB FIP board");
    EXPECT_FALSE(CCyUSBDevice().OpenDevice(0)) << "the handle holds the device";
    CloseHandle(handle);
    EXPECT_EQ(device.OpenInterfaceHandle(2), INVALID_HANDLE_VALUE);
    EXPECT_EQ(device.LastError, static_cast<std::uint32_t>(ERROR_NO_MORE_ITEMS));

    EXPECT_EQ(cyp_info_by_serial("").size(), 2u) << "bulk USB records carry no serial number";
    EXPECT_TRUE(cyp_info_by_serial("USB FIP board").empty());

    CDavAzuv board(usb_transport::KIND_BULK_USB);
    UsbBoardRecord record;
    ASSERT_EQ(board.open(1), 0);
    EXPECT_EQ(board.get_device_info(record), 0);
    EXPECT_STREQ(record.description, "Other device");
    EXPECT_STREQ(record.serial_number, "");
    EXPECT_EQ(record.index, 1u);
    EXPECT_EQ(record.busy, 1);
    EXPECT_EQ(record.kind, CComInfo::KIND_BULK_USB);
    EXPECT_EQ(record.vendor_id, 0x1234);
    EXPECT_EQ(record.product_id, 0x0001);
    EXPECT_EQ(board.close(), 0);
    CDavAzuv none(7);
    record.index = 9;
    EXPECT_EQ(none.get_device_info(record), 0x30100001);
    EXPECT_EQ(record.index, 0u);
}

class UsbListing : public EngineOnMachine {};

TEST_F(UsbListing, ActiveDevicesArePciThenPc104ThenUsbBoardsWithTheirUsedFlags) {
    sim::MachineDescription d;
    d.boards = {sim::UsbBoardConfig{}, sim::PciBoardConfig{}, sim::UsbBoardConfig{}, sim::Pc104BoardConfig{}};
    boot(d);
    ASSERT_EQ(START_FIP_ENGINE(2, kBoardUsb), kSuccess);
    std::uint16_t count = 0;
    ASSERT_EQ(GetActiveDevicesCount(&count), kSuccess);
    ASSERT_EQ(count, 4);
    std::vector<ActiveDeviceInfo> records(count);
    ASSERT_EQ(GetActiveDevicesInfo(count, records.data()), kSuccess);
    EXPECT_THAT(records, ElementsAre(ActiveDeviceInfo{0, 1, 0, 0}, ActiveDeviceInfo{1, 1, 0, 0},
                                     ActiveDeviceInfo{2, 1, 0, 0}, ActiveDeviceInfo{2, 2, 0, 1}));
    EXPECT_EQ(GetCardrixSerialNumber(kBoardUsb, 1), 0x00030001u) << "a query beside the board in use";
    EXPECT_EQ(STOP_FIP_ENGINE(), kSuccess);
    ASSERT_EQ(GetActiveDevicesInfo(count, records.data()), kSuccess);
    EXPECT_EQ(records[3].used, 0u);
}

// The largest description the machine accepts is the largest whose boards the engine all sees:
// each board is listed through D2XX and through the USB device driver, in one list of 255.
TEST_F(UsbListing, EveryBoardOfTheLargestDescriptionIsSeen) {
    sim::MachineDescription d;
    d.boards.assign(sim::kMaxUsbBoards, sim::UsbBoardConfig{});
    boot(d);
    std::uint16_t count = 0;
    ASSERT_EQ(GetActiveDevicesCount(&count), kSuccess);
    EXPECT_EQ(count, sim::kMaxUsbBoards);
    d.boards.push_back(sim::UsbBoardConfig{});
    boot(d);
    ASSERT_EQ(GetActiveDevicesCount(&count), kSuccess);
    EXPECT_LT(count, d.boards.size()) << "one board more is not seen";
}

}  // namespace
}  // namespace corvix::testing
