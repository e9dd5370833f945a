// The I/O manager and the PnP manager with the WDM echo driver: names, exclusive opens, buffered
// requests, pended, held and cancelled requests, removal, configuration space and power.
#include <chrono>
#include <cstring>
#include <future>
#include <thread>

#include "base/registry_store.h"
#include "echo_ioctl.h"
#include "kernel/io_seam.h"
#include "kernel/wdm.h"
#include "kernel_fixture.h"

namespace {

using namespace kerneltest;
using Bytes8 = std::vector<std::uint8_t>;

constexpr const char* module = "KernelTestWdmEcho";

class WdmEcho : public KernelTest {
protected:
    void SetUp() override {
        KernelTest::SetUp();
        ASSERT_EQ(qk::pnp::loadDriver("qkecho", module), STATUS_SUCCESS);
        qk::hw::attachMemory(0xF0000000, memory);
        board.service = "qkecho";
        board.memory = {{0xF0000000, 64}};
        board.uiNumber = 7;
        board.readConfigSpace = [](std::uint32_t offset, std::uint32_t length) {
            Bytes8 bytes(length);
            for (std::uint32_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(offset + i);
            return bytes;
        };
        const auto result = qk::pnp::enumerateBoard(board);
        ASSERT_EQ(result.addStatus, STATUS_SUCCESS);
        ASSERT_EQ(result.startStatus, STATUS_SUCCESS);
        node = result.node;
    }

    qk::FileId open(const char* path = "\\\\.\\QKECHO1") {
        const auto opened = qk::ioSeam().open(path, 0xC0000000, 0);
        EXPECT_EQ(opened.status, STATUS_SUCCESS) << path;
        return opened.file;
    }

    static void waitForHeld(long count) {
        for (int i = 0; i < 5000 && probe(module, "EchoHeldCount") != count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        ASSERT_EQ(probe(module, "EchoHeldCount"), count);
    }

    std::shared_ptr<Memory> memory = std::make_shared<Memory>();
    qk::pnp::BoardDescription board;
    qk::pnp::DeviceNodeId node = 0;
};

struct EchoCase {
    Bytes8 input;
    std::uint32_t outputLength;
    Bytes8 output;
};

class WdmEchoBuffer : public WdmEcho, public ::testing::WithParamInterface<EchoCase> {};

// One system buffer: what the driver writes over its input comes back, up to the output length.
TEST_P(WdmEchoBuffer, OutputIsTheDriversRewriteOfTheInputBuffer) {
    const qk::FileId file = open();
    const auto result = qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, GetParam().input, GetParam().outputLength);
    EXPECT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.output, GetParam().output);
    qk::ioSeam().close(file);
}

INSTANTIATE_TEST_SUITE_P(Lengths, WdmEchoBuffer,
                         ::testing::Values(EchoCase{{1, 2, 3}, 3, {3, 2, 1}}, EchoCase{{1, 2, 3, 4}, 2, {4, 3}},
                                           EchoCase{{1, 2}, 4, {2, 1, 0, 0}}, EchoCase{{}, 0, {}},
                                           EchoCase{{}, 3, {0, 0, 0}}));

struct StatusCase {
    NTSTATUS status;
    bool outputKept;
};

class WdmEchoStatus : public WdmEcho, public ::testing::WithParamInterface<StatusCase> {};

// The driver's status reaches the caller; output comes back unless the status is an error.
TEST_P(WdmEchoStatus, DriverStatusReachesTheCaller) {
    const qk::FileId file = open();
    Bytes8 input(4);
    std::memcpy(input.data(), &GetParam().status, 4);
    const auto result = qk::ioSeam().deviceControl(file, echo::IOCTL_STATUS, input, 4);
    EXPECT_EQ(result.status, GetParam().status);
    const Bytes8 expected = GetParam().outputKept ? Bytes8{0xAB, 0xCD} : Bytes8{};
    EXPECT_EQ(result.output, expected);
    qk::ioSeam().close(file);
}

INSTANTIATE_TEST_SUITE_P(Statuses, WdmEchoStatus,
                         ::testing::Values(StatusCase{STATUS_SUCCESS, true}, StatusCase{STATUS_TIMEOUT, true},
                                           StatusCase{STATUS_BUFFER_OVERFLOW, true},
                                           StatusCase{STATUS_DEVICE_BUSY, true},
                                           StatusCase{STATUS_INVALID_PARAMETER, false},
                                           StatusCase{STATUS_IO_TIMEOUT, false}));

TEST_F(WdmEcho, NamesResolveThroughSymbolicLinksOnly) {
    EXPECT_EQ(qk::ioSeam().open("\\\\.\\QKECHO2", 0, 0).status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(qk::ioSeam().open("\\Device\\QKECHO0", 0, 0).status, STATUS_OBJECT_NAME_NOT_FOUND);
    const qk::FileId file = open("\\\\.\\qkecho1");  // names compare without case
    EXPECT_NE(file, 0u);
    qk::ioSeam().close(file);
}

TEST_F(WdmEcho, ExclusiveDeviceRefusesASecondOpenUntilTheFirstCloses) {
    const qk::FileId first = open();
    EXPECT_EQ(qk::ioSeam().open("\\\\.\\QKECHO1", 0, 3).status, STATUS_ACCESS_DENIED);
    qk::ioSeam().close(first);
    const qk::FileId second = open();
    EXPECT_NE(second, first);
    qk::ioSeam().close(second);
}

TEST_F(WdmEcho, RequestsOnAClosedOrUnknownFileAreRefused) {
    const qk::FileId file = open();
    qk::ioSeam().close(file);
    EXPECT_EQ(qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, {1}, 1).status, STATUS_INVALID_HANDLE);
    EXPECT_EQ(qk::ioSeam().deviceControl(12345, echo::IOCTL_ECHO, {1}, 1).status, STATUS_INVALID_HANDLE);
    qk::ioSeam().close(file);  // a second close is harmless
}

TEST_F(WdmEcho, PendedRequestCompletedByAWorkItemReturnsItsResult) {
    const qk::FileId file = open();
    for (int i = 0; i < 20; ++i) {
        const auto result = qk::ioSeam().deviceControl(file, echo::IOCTL_PEND, {1, 2, 3, 4, 5}, 5);
        ASSERT_EQ(result.status, STATUS_SUCCESS);
        EXPECT_EQ(result.output, (Bytes8{5, 4, 3, 2, 1}));
    }
    qk::ioSeam().close(file);
}

TEST_F(WdmEcho, CloseCancelsAHeldRequest) {
    const qk::FileId file = open();
    auto held = std::async(std::launch::async, [&] { return qk::ioSeam().deviceControl(file, echo::IOCTL_HOLD, {}, 0); });
    waitForHeld(1);
    qk::ioSeam().close(file);
    EXPECT_EQ(held.get().status, STATUS_CANCELLED);
    EXPECT_EQ(probe(module, "EchoHeldCount"), 0);
    qk::ioSeam().close(open());  // the device is free again
}

TEST_F(WdmEcho, RemovalCompletesHeldRequestsAndTheNameGoes) {
    const qk::FileId file = open();
    std::vector<std::future<qk::ControlResult>> held;
    for (int i = 0; i < 3; ++i)
        held.push_back(std::async(std::launch::async, [&] { return qk::ioSeam().deviceControl(file, echo::IOCTL_HOLD, {}, 0); }));
    waitForHeld(3);
    EXPECT_EQ(qk::pnp::queryRemove(node), STATUS_SUCCESS);
    EXPECT_EQ(qk::pnp::remove(node), STATUS_SUCCESS);
    for (auto& h : held) EXPECT_EQ(h.get().status, STATUS_NO_SUCH_DEVICE);
    // The open file outlives its device: requests fail, close still reaches the driver.
    EXPECT_EQ(qk::ioSeam().deviceControl(file, echo::IOCTL_ECHO, {1}, 1).status, STATUS_NO_SUCH_DEVICE);
    qk::ioSeam().close(file);
    EXPECT_EQ(qk::ioSeam().open("\\\\.\\QKECHO1", 0, 0).status, STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(qk::pnp::remove(node), STATUS_NO_SUCH_DEVICE);
}

TEST_F(WdmEcho, SurpriseRemovalThenRemovalReleaseOnce) {
    const qk::FileId file = open();
    auto held = std::async(std::launch::async, [&] { return qk::ioSeam().deviceControl(file, echo::IOCTL_HOLD, {}, 0); });
    waitForHeld(1);
    EXPECT_EQ(qk::pnp::surpriseRemove(node), STATUS_SUCCESS);
    EXPECT_EQ(held.get().status, STATUS_NO_SUCH_DEVICE);
    qk::ioSeam().close(file);
    EXPECT_EQ(qk::pnp::remove(node), STATUS_SUCCESS);
    EXPECT_TRUE(qk::hw::faults().empty());  // each range unmapped once
}

TEST_F(WdmEcho, StartReadsConfigurationSpaceAndTheUiNumber) {
    const qk::FileId file = open();
    const auto result = qk::ioSeam().deviceControl(file, echo::IOCTL_CONFIG, {}, 8);
    ASSERT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.output, (Bytes8{7, 0, 0, 0, 0x2C, 0x2D, 0x2E, 0x2F}));
    qk::ioSeam().close(file);
}

TEST_F(WdmEcho, RegisterAccessorsReachTheMappedRange) {
    memory->data[8] = 0x11;
    memory->data[9] = 0x22;
    memory->data[10] = 0x33;
    memory->data[11] = 0x44;
    const qk::FileId file = open();
    const auto result = qk::ioSeam().deviceControl(file, echo::IOCTL_REGISTER, {8, 0, 0, 0}, 4);
    ASSERT_EQ(result.status, STATUS_SUCCESS);
    EXPECT_EQ(result.output, (Bytes8{0x11, 0x22, 0x33, 0x44}));
    EXPECT_EQ(memory->data[8], 0x5A);
    // Past the mapped length: a fault is recorded and the read gives all ones.
    const auto past = qk::ioSeam().deviceControl(file, echo::IOCTL_REGISTER, {62, 0, 0, 0}, 4);
    EXPECT_EQ(past.output, (Bytes8{0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(qk::hw::faults().size(), 1u);  // the 32-bit read; the byte write at 62 still lands
    qk::ioSeam().close(file);
}

TEST_F(WdmEcho, StartWithoutResourcesFails) {
    qk::pnp::BoardDescription bare;
    bare.service = "qkecho";
    const auto result = qk::pnp::enumerateBoard(bare);
    EXPECT_EQ(result.addStatus, STATUS_SUCCESS);
    EXPECT_EQ(result.startStatus, STATUS_INSUFFICIENT_RESOURCES);
}

TEST_F(WdmEcho, BoardOfAnUnloadedServiceGetsNoDriver) {
    qk::pnp::BoardDescription other;
    other.service = "nosuchservice";
    EXPECT_EQ(qk::pnp::enumerateBoard(other).addStatus, STATUS_NO_SUCH_DEVICE);
    EXPECT_EQ(qk::pnp::loadDriver("qkecho", module), STATUS_IMAGE_ALREADY_LOADED);
    EXPECT_EQ(qk::pnp::loadDriver("missing", "NoSuchModule"), STATUS_DRIVER_UNABLE_TO_LOAD);
}

TEST_F(WdmEcho, SystemSleepTakesTheDeviceToD3AndWakeBackToD0) {
    const qk::FileId file = open();
    auto power = [&] {
        const auto r = qk::ioSeam().deviceControl(file, echo::IOCTL_POWER, {}, 4);
        return r.output.empty() ? -1 : r.output[0];
    };
    EXPECT_EQ(power(), PowerDeviceD0);
    EXPECT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Sleeping3), STATUS_SUCCESS);
    EXPECT_EQ(power(), PowerDeviceD3);
    EXPECT_EQ(qk::pnp::setSystemPower(qk::pnp::SystemPowerState::Working), STATUS_SUCCESS);
    EXPECT_EQ(power(), PowerDeviceD0);
    qk::ioSeam().close(file);
}

TEST_F(WdmEcho, DriverWritesItsParametersIntoTheVolatileHive) {
    const auto value = qbase::registry::getValue(qbase::registry::Root::LocalMachine,
                                                 "SYSTEM\\CurrentControlSet\\Services\\qkecho\\Parameters", "Boards");
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(value->type, qbase::registry::ValueType::Dword);
    EXPECT_EQ(value->data, (Bytes8{1, 0, 0, 0}));
    qk::pnp::remove(node);
    EXPECT_EQ(qbase::registry::getValue(qbase::registry::Root::LocalMachine,
                                        "SYSTEM\\CurrentControlSet\\Services\\qkecho\\Parameters", "Boards")
                  ->data,
              (Bytes8{0, 0, 0, 0}));
}

TEST_F(WdmEcho, ManyCallersOnManyBoardsRunAtOnce) {
    qk::pnp::BoardDescription second = board;
    ASSERT_EQ(qk::pnp::enumerateBoard(second).startStatus, STATUS_SUCCESS);
    std::vector<std::thread> callers;
    std::atomic<int> failures{0};
    for (const char* name : {"\\\\.\\QKECHO1", "\\\\.\\QKECHO2"}) {
        callers.emplace_back([&, name] {
            const auto opened = qk::ioSeam().open(name, 0, 0);
            for (int i = 0; i < 200; ++i) {
                const auto code = i % 2 ? echo::IOCTL_PEND : echo::IOCTL_ECHO;
                if (qk::ioSeam().deviceControl(opened.file, code, {1, 2}, 2).output != Bytes8{2, 1}) ++failures;
            }
            qk::ioSeam().close(opened.file);
        });
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
