// The FTDI transport over the D2XX stand-in: the open sequence by ordinal, each failing step
// (the device closed again), the status mapping, short and failed writes, a failed close, and
// bytes both ways while the device streams, with close and reopen.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "stack_fixture.h"
#include "usb/usb_ftd2xx_com.h"
#include "usb_fake_device.h"

namespace corvix::testing {
namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace qd2xx;

// The library as the stand-in offers it, with every call noted by ordinal and one ordinal made
// to fail with a chosen status. Process-wide, like the bound table.
struct Script {
    std::mutex mutex;
    std::vector<int> calls;
    int failing = 0;
    FT_STATUS status = 0;
    bool shortWrite = false;
};
Script& script() {
    static Script s;
    return s;
}
// Notes the call; true when it must fail.
bool note(int ordinal) {
    std::lock_guard lock(script().mutex);
    script().calls.push_back(ordinal);
    return script().failing == ordinal;
}
FT_STATUS failure() {
    std::lock_guard lock(script().mutex);
    return script().status;
}

const Table kScripted{
    .open = [](int i, FT_HANDLE* h) { return note(1) ? failure() : builtIn().open(i, h); },
    .close = [](FT_HANDLE h) { return note(2) ? failure() : builtIn().close(h); },
    .read = [](FT_HANDLE h, void* b, DWORD n, DWORD* r) { return note(3) ? failure() : builtIn().read(h, b, n, r); },
    .write =
        [](FT_HANDLE h, const void* b, DWORD n, DWORD* w) {
            if (note(4)) return failure();
            bool cut;
            {
                std::lock_guard lock(script().mutex);
                cut = script().shortWrite;
            }
            return builtIn().write(h, b, cut && n ? n - 1 : n, w);
        },
    .ordinal6 = [](FT_HANDLE h) { return note(6) ? failure() : builtIn().ordinal6(h); },
    .setBaudRate = [](FT_HANDLE h, ULONG v) { return note(7) ? failure() : builtIn().setBaudRate(h, v); },
    .setDataCharacteristics =
        [](FT_HANDLE h, UCHAR a, UCHAR b, UCHAR c) { return note(8) ? failure() : builtIn().setDataCharacteristics(h, a, b, c); },
    .setFlowControl =
        [](FT_HANDLE h, USHORT m, UCHAR a, UCHAR b) { return note(9) ? failure() : builtIn().setFlowControl(h, m, a, b); },
    .purge = [](FT_HANDLE h, ULONG m) { return note(16) ? failure() : builtIn().purge(h, m); },
    .setTimeouts = [](FT_HANDLE h, ULONG r, ULONG w) { return note(17) ? failure() : builtIn().setTimeouts(h, r, w); },
    .getQueueStatus = [](FT_HANDLE h, DWORD* n) { return note(18) ? failure() : builtIn().getQueueStatus(h, n); },
    .setEventNotification =
        [](FT_HANDLE h, DWORD m, HANDLE e) { return note(19) ? failure() : builtIn().setEventNotification(h, m, e); },
    .ordinal29 = [](FT_HANDLE h, UCHAR v) { return note(29) ? failure() : builtIn().ordinal29(h, v); },
    .ordinal33 = [](FT_HANDLE h, ULONG a, ULONG b) { return note(33) ? failure() : builtIn().ordinal33(h, a, b); },
    .ordinal65 = [](FT_HANDLE h, ULONG v) { return note(65) ? failure() : builtIn().ordinal65(h, v); },
    .createDeviceInfoList = [](DWORD* n) { return note(70) ? failure() : builtIn().createDeviceInfoList(n); },
    .getDeviceInfoList =
        [](DeviceListNode* nodes, DWORD* n) { return note(71) ? failure() : builtIn().getDeviceInfoList(nodes, n); },
};

Bytes collect(CAbstractCom& com, std::size_t count) {
    Bytes all, chunk;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (all.size() < count && std::chrono::steady_clock::now() < end) {
        com.wait_rx_data();
        com.get_rx_data(chunk);
        all.insert(all.end(), chunk.begin(), chunk.end());
    }
    return all;
}

class Ftdi : public EngineOnMachine {
protected:
    void SetUp() override {
        boot(sim::MachineDescription{});
        device = std::make_shared<FakeUsbDevice>(boardIdentity());
        qusb::attach(device);
        previous = install(kScripted);
        setScript(0, 0);
    }
    void TearDown() override {
        install(previous);
        qusb::detachAll();
        EngineOnMachine::TearDown();
    }
    static void setScript(int failing, FT_STATUS status, bool shortWrite = false) {
        std::lock_guard lock(script().mutex);
        script().calls.clear();
        script().failing = failing;
        script().status = status;
        script().shortWrite = shortWrite;
    }
    static std::vector<int> calls() {
        std::lock_guard lock(script().mutex);
        return script().calls;
    }
    std::shared_ptr<FakeUsbDevice> device;
    Table previous{};
};

TEST_F(Ftdi, OpenConfiguresTheDeviceInTheLibrarysOrder) {
    CUsbFtd2xxCom com;
    EXPECT_EQ(com.init(), 0);
    ASSERT_EQ(com.open(0), 0);
    const std::vector<int> sequence = calls();
    ASSERT_GE(sequence.size(), 11u);
    EXPECT_EQ(std::vector<int>(sequence.begin(), sequence.begin() + 11),
              (std::vector<int>{1, 6, 16, 33, 7, 17, 8, 9, 16, 29, 65}));
    EXPECT_TRUE(com.is_open());
    EXPECT_TRUE(device->isOpen());
    EXPECT_EQ(com.device_info()->kind, CComInfo::KIND_FTDI);
    EXPECT_EQ(com.device_info()->busy, 1);
    EXPECT_EQ(com.device_info()->description, "USB FIP board");
    setScript(0, 0);
    EXPECT_EQ(com.close(), 0);
    const std::vector<int> closing = calls();
    ASSERT_GE(closing.size(), 3u);
    EXPECT_EQ(std::vector<int>(closing.end() - 3, closing.end()), (std::vector<int>{16, 6, 2}));
    EXPECT_FALSE(device->isOpen());
    EXPECT_EQ(com.close(), kComNotOpen);
}

TEST_F(Ftdi, EachFailingOpenStepGivesItsCodeAndClosesTheDevice) {
    const struct {
        int ordinal;
        std::int32_t result;
    } cases[] = {{1, 0x30102040}, {6, 0x30102040}, {16, 0x30102040}, {33, 4},         {7, 0x30102040},
                 {17, 0x30102040}, {8, 0x30102040}, {9, 0x30102040},  {29, 4}, {65, 4}};
    for (const auto& c : cases) {
        setScript(c.ordinal, FT_IO_ERROR);
        CUsbFtd2xxCom com;
        EXPECT_EQ(com.open(0), c.result) << c.ordinal;
        EXPECT_FALSE(com.is_open()) << c.ordinal;
        EXPECT_FALSE(device->isOpen()) << "closed again after ordinal " << c.ordinal;
        const std::vector<int> sequence = calls();
        if (c.ordinal != 1) {
            EXPECT_EQ(sequence.back(), 2) << c.ordinal;
        }
    }
    setScript(0, 0);
    CUsbFtd2xxCom com;
    EXPECT_EQ(com.open(0), 0) << "the device is free";
}

TEST_F(Ftdi, LibraryStatusesMapToTheirCodes) {
    EXPECT_EQ(CUsbFtd2xxCom::status_result(0), 0);
    for (FT_STATUS s = 1; s <= 19; ++s) EXPECT_EQ(CUsbFtd2xxCom::status_result(s), 0x3010203C + static_cast<std::int32_t>(s));
    EXPECT_EQ(CUsbFtd2xxCom::status_result(4), 0x30102040);
    EXPECT_EQ(CUsbFtd2xxCom::status_result(25), 0x3010204E) << "an unknown failure is no success";
}

TEST_F(Ftdi, WritesCloseAndReadsReportTheLibrarysFailures) {
    CUsbFtd2xxCom com;
    const Bytes frame{0x90, 0x11, 1, 4, 0, 0, 0};
    EXPECT_EQ(com.write(frame.data(), 7), kComNotOpen);
    ASSERT_EQ(com.open(0), 0);
    setScript(4, FT_IO_ERROR);
    EXPECT_EQ(com.write(frame.data(), 7), 0x30102040);
    setScript(0, 0, true);
    EXPECT_EQ(com.write(frame.data(), 7), kFtdShortWrite);
    setScript(0, 0);
    device->clearReceived();
    EXPECT_EQ(com.write(frame.data(), 7), 0);
    EXPECT_EQ(device->received(), frame);
    EXPECT_EQ(com.set_option_1(0), kComNotImplemented);

    setScript(2, FT_INVALID_HANDLE);
    EXPECT_EQ(com.close(), 0x3010203D);
    EXPECT_TRUE(com.is_open()) << "a failed close keeps the handle";
    setScript(0, 0);
    EXPECT_EQ(com.close(), 0);
    EXPECT_FALSE(com.is_open());
}

TEST_F(Ftdi, BytesFlowBothWaysWhileStreamingAndTheTransportReopens) {
    device->setEcho(true);
    std::atomic<bool> done{false};
    std::atomic<std::size_t> pushed{0};
    std::thread streamer([&] {
        std::uint8_t n = 0;
        while (!done) {
            Bytes chunk(50);
            for (auto& b : chunk) b = n++;
            if (device->push(chunk)) pushed += chunk.size();
            std::this_thread::sleep_for(std::chrono::microseconds(300));
        }
    });
    CUsbFtd2xxCom com;
    for (int round = 0; round < 8; ++round) {
        ASSERT_EQ(com.open(0), 0) << round;
        for (int k = 0; k < 20; ++k) {
            const Bytes frame{0x90, 0x11, 1, static_cast<std::uint8_t>(k), 0, 0, 0};
            ASSERT_EQ(com.write(frame.data(), 7), 0);
        }
        const Bytes got = collect(com, 200);
        EXPECT_GE(got.size(), 200u) << round;
        ASSERT_EQ(com.close(), 0) << round;
    }
    done = true;
    streamer.join();
    EXPECT_GT(pushed.load(), 0u);
}

}  // namespace
}  // namespace corvix::testing
