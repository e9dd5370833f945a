// The framework with the KMDF echo driver: device interfaces, file objects, port resources, the
// sequential power-managed queue, removal and unload.
#include <future>
#include <thread>

#include "echo_ioctl.h"
#include "kernel/io_seam.h"
#include "kernel/wdm.h"
#include "kernel_fixture.h"

namespace {

using namespace kerneltest;
using Bytes8 = std::vector<std::uint8_t>;

constexpr const char* module = "KernelTestKmdfEcho";
const qk::Guid echoInterface{echo::interfaceData1,
                             echo::interfaceData2,
                             echo::interfaceData3,
                             {echo::interfaceData4[0], echo::interfaceData4[1], echo::interfaceData4[2],
                              echo::interfaceData4[3], echo::interfaceData4[4], echo::interfaceData4[5],
                              echo::interfaceData4[6], echo::interfaceData4[7]}};

class KmdfEcho : public KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        ASSERT_EQ(qk::pnp::loadDriver("qkkmdf", module), STATUS_SUCCESS);
        qk::hw::attachPorts(0x300, ports);
        node = enumerate(0x300).node;
    }

    qk::pnp::EnumerateResult enumerate(std::uint32_t firstPort) {
        qk::pnp::BoardDescription board;
        board.service = "qkkmdf";
        if (firstPort) board.ports = {{firstPort, 32}};
        return qk::pnp::enumerateBoard(board);
    }

    qk::FileId open(std::size_t member = 0) {
        const auto paths = qk::ioSeam().interfaces(echoInterface);
        EXPECT_GT(paths.size(), member);
        if (paths.size() <= member) return 0;
        const auto opened = qk::ioSeam().open(paths[member], 0xC0000000, 3);
        EXPECT_EQ(opened.status, STATUS_SUCCESS);
        return opened.file;
    }

    std::shared_ptr<Ports> ports = std::make_shared<Ports>();
    qk::pnp::DeviceNodeId node = 0;
};

TEST_F(KmdfEcho, StartedDeviceListsItsInterfaceWithTheReferenceString) {
    const auto paths = qk::ioSeam().interfaces(echoInterface);
    ASSERT_EQ(paths.size(), 1u);
    EXPECT_EQ(paths[0].substr(0, 4), "\\\\?\\");
    EXPECT_NE(paths[0].find("{8c1d0d6e-2b5a-4f4b-9e1a-3c5b7d9f1a2b}"), std::string::npos);
    EXPECT_EQ(paths[0].substr(paths[0].size() - 2), "\\0");
    EXPECT_TRUE(qk::ioSeam().interfaces(qk::Guid{1, 2, 3, {}}).empty());
}

TEST_F(KmdfEcho, BoardWithoutPortsFailsToStartAndListsNoInterface) {
    const auto result = enumerate(0);
    EXPECT_EQ(result.addStatus, STATUS_SUCCESS);
    EXPECT_EQ(result.startStatus, STATUS_DEVICE_CONFIGURATION_ERROR);
    EXPECT_EQ(qk::ioSeam().interfaces(echoInterface).size(), 1u);
}

TEST_F(KmdfEcho, SeveralFilesMayBeOpenAndEachCloseReachesTheDriver) {
    const qk::FileId a = open();
    const qk::FileId b = open();
    EXPECT_EQ(probe(module, "EchoOpenFiles"), 2);
    const auto result = qk::ioSeam().deviceControl(a, echo::IOCTL_ECHO, {1, 2, 3}, 3);
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.output, (Bytes8{3, 2, 1}));
    qk::ioSeam().close(a);
    qk::ioSeam().close(b);
    EXPECT_EQ(probe(module, "EchoOpenFiles"), 0);
}

TEST_F(KmdfEcho, RequestBufferChecksRefuseEmptyOrShortBuffers) {
    const qk::FileId file = open();
    EXPECT_EQ(qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, {}, 4).status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, {1, 2, 3}, 2).status, STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(qk::ioSeam().deviceControl(file, 0x00229999, {}, 0).status, STATUS_NOT_IMPLEMENTED);
    qk::ioSeam().close(file);
}

TEST_F(KmdfEcho, PortAccessorsReachTheBoardsPortRange) {
    ports->data[5] = 0x42;
    const qk::FileId file = open();
    const auto result = qk::ioSeam().deviceControl(file, echo::IOCTL_PORT, {5}, 1);
    EXPECT_EQ(result.output, Bytes8{0x42});
    EXPECT_EQ(ports->data[5], 0xA5);
    EXPECT_EQ(qk::ioSeam().deviceControl(file, echo::IOCTL_PORT, {100}, 1).output, Bytes8{0xFF});  // outside
    EXPECT_EQ(qk::hw::faults().size(), 2u);
    qk::ioSeam().close(file);
}

TEST_F(KmdfEcho, SequentialQueueHandsTheDriverOneRequestAtATime) {
    const qk::FileId file = open();
    std::vector<std::thread> callers;
    std::atomic<int> failures{0};
    for (int t = 0; t < 6; ++t) {
        callers.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                const auto r = qk::ioSeam().deviceControl(file, echo::IOCTL_PEND, {1, 2}, 2);
                if (r.status != STATUS_SUCCESS || r.output != Bytes8{0xEE, 0xEE}) ++failures;
            }
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(failures.load(), 0);
    EXPECT_EQ(probe(module, "EchoMostInDriver"), 1);
    qk::ioSeam().close(file);
}

TEST_F(KmdfEcho, SleepHoldsTheQueueAndRemovalRefusesWhatWaits) {
    const qk::FileId file = open();
    ASSERT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Sleeping3), STATUS_SUCCESS);
    auto waiting = std::async(std::launch::async, [&] { return qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, {1}, 1); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    EXPECT_EQ(qk::pnp::queryRemove(node), STATUS_SUCCESS);
    EXPECT_EQ(qk::pnp::remove(node), STATUS_SUCCESS);
    EXPECT_EQ(waiting.get().status, STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(probe(module, "EchoReleasedHardware"), 1);
    EXPECT_TRUE(qk::ioSeam().interfaces(echoInterface).empty());
    EXPECT_EQ(qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, {1}, 1).status, STATUS_NO_SUCH_DEVICE);
    qk::ioSeam().close(file);
    EXPECT_EQ(probe(module, "EchoOpenFiles"), 0);
    ASSERT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Working), STATUS_SUCCESS);
}

TEST_F(KmdfEcho, WakeRestartsTheQueue) {
    const qk::FileId file = open();
    ASSERT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Hibernate), STATUS_SUCCESS);
    auto waiting = std::async(std::launch::async, [&] { return qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, {1, 2}, 2); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    ASSERT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Working), STATUS_SUCCESS);
    EXPECT_EQ(waiting.get().output, (Bytes8{2, 1}));
    qk::ioSeam().close(file);
}

TEST_F(KmdfEcho, SurpriseRemovalReleasesTheHardwareOnce) {
    EXPECT_EQ(qk::pnp::surpriseRemove(node), STATUS_SUCCESS);
    EXPECT_TRUE(qk::ioSeam().interfaces(echoInterface).empty());
    EXPECT_EQ(qk::pnp::remove(node), STATUS_SUCCESS);
    EXPECT_EQ(probe(module, "EchoReleasedHardware"), 1);
}

TEST_F(KmdfEcho, UnloadRemovesTheBoardsAndRunsTheDriverCleanUp) {
    const long before = probe(module, "EchoCleanedUp");
    qk::pnp::unloadDriver("qkkmdf");
    EXPECT_EQ(probe(module, "EchoReleasedHardware"), 1);
    EXPECT_EQ(probe(module, "EchoCleanedUp"), before + 1);
    EXPECT_TRUE(qk::ioSeam().interfaces(echoInterface).empty());
}

}  // namespace
