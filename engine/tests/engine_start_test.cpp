// START_FIP_ENGINE, STOP_FIP_ENGINE and INIT_STORAGE on a scripted board, with the driver files and
// the drivers' registry values laid out by the test.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>
#include <thread>

#include "base/clock.h"
#include "base/machine_root.h"
#include "corvix.h"
#include "driver_version.h"
#include "engine_errors.h"
#include "engine_fixture.h"
#include "fdb_ioctl.h"
#include "win32/testing.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;

// Runs first in this process: no engine has been started yet.
TEST(InitStorage, BeforeAnyStartIsRefusedAndChangesNothing) {
    currentContext()->boardNumber = 7;
    EXPECT_EQ(INIT_STORAGE(), kErrNoEngineStarted);
    EXPECT_EQ(currentContext()->boardNumber, 7);
    *currentContext() = EngineContext{};
}

struct VersionCase {
    const char* text;
    FileVersion expected;
};
class VersionText : public ::testing::TestWithParam<VersionCase> {};
TEST_P(VersionText, MajorAndMinorFromAtMostThreeDigitsEach) {
    EXPECT_EQ(parseFileVersion(GetParam().text), GetParam().expected) << GetParam().text;
}
INSTANTIATE_TEST_SUITE_P(Texts, VersionText,
                         ::testing::Values(VersionCase{"3.10", {3, 10}}, VersionCase{"3.1.0.0", {3, 1}},
                                           VersionCase{"1.0", {1, 0}}, VersionCase{"4", {4, 0}},
                                           VersionCase{"3.", {3, 0}}, VersionCase{"12345.67890", {123, 678}},
                                           VersionCase{"", {0, 0}}, VersionCase{"x.y", {0, 0}}));

void installDriver(const char* file, const char* version) {
    const auto folder = qbase::systemDirectory() / "drivers";
    std::filesystem::create_directories(folder);
    std::ofstream(folder / file) << "driver";
    std::ofstream(folder / (std::string(file) + ".version")) << version << "\n";
}

void setDriverBoards(const char* service, std::uint8_t activeFlags0, std::uint8_t usedFlags0) {
    HKEY key = nullptr;
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Services\\") + service + "\\Parameters";
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    const DWORD count = activeFlags0 ? 1 : 0;
    std::array<BYTE, 9> active{activeFlags0}, used{usedFlags0};
    RegSetValueExA(key, "Active_Cards", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&count), sizeof count);
    RegSetValueExA(key, "Active_Index", 0, REG_BINARY, active.data(), 9);
    RegSetValueExA(key, "Used_Index", 0, REG_BINARY, used.data(), 9);
    RegCloseKey(key);
}

class EngineStart : public ::testing::Test {
protected:
    void SetUp() override {
        qbase::markMachineBooted(true);
        installDriver("ambrix.sys", "3.10");
        installDriver("osprix.sys", "1.0");
        setDriverBoards("ambrix", 1, 0);
        board.interfacePaths = {"\\\\?\\pc104#0"};
    }
    void TearDown() override { *currentContext() = EngineContext{}; }
    ScriptedBoard board;
};

TEST_F(EngineStart, StartsAPciBoardAndKeepsTheSystemAwake) {
    SystemAutomaticSleepManagement(false);
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    EXPECT_EQ(currentContext()->boardNumber, 1);
    EXPECT_EQ(currentContext()->boardVariant, 1u);
    EXPECT_EQ(qwin32::testing::currentExecutionState(), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
    EXPECT_EQ(cardPageLimit(), 2048u);
    EXPECT_EQ(lastStartedContext().get(), currentContext());
    ASSERT_EQ(STOP_FIP_ENGINE(), kSuccess);
    EXPECT_EQ(qwin32::testing::currentExecutionState(), ES_CONTINUOUS);
    EXPECT_FALSE(currentContext()->device);
}

TEST_F(EngineStart, DoNotPreventSystemSleepLetsTheSystemSleep) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Talvenor\\Corvix", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const DWORD one = 1;
    RegSetValueExA(key, "DoNotPreventSystemSleep", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), sizeof one);
    SystemAutomaticSleepManagement(false);
    SystemAutomaticSleepManagement(true);
    EXPECT_EQ(qwin32::testing::currentExecutionState(), ES_CONTINUOUS);
    RegDeleteValueA(key, "DoNotPreventSystemSleep");
    RegCloseKey(key);
    SystemAutomaticSleepManagement(true);
    EXPECT_EQ(qwin32::testing::currentExecutionState(), ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
}

struct DriverCase {
    const char* file;
    const char* version;
    std::uint32_t type;
    ErrorCode expected;
};
class DriverVersions : public EngineStart, public ::testing::WithParamInterface<DriverCase> {};
TEST_P(DriverVersions, DecideWhetherTheBoardIsOpened) {
    installDriver(GetParam().file, GetParam().version);
    EXPECT_EQ(START_FIP_ENGINE(1, GetParam().type), GetParam().expected);
    EXPECT_EQ(board.opens(), GetParam().expected == kSuccess ? 1 : 0);
}
INSTANTIATE_TEST_SUITE_P(Versions, DriverVersions,
                         ::testing::Values(DriverCase{"osprix.sys", "1.0", kBoardPc104, kSuccess},
                                           DriverCase{"osprix.sys", "0.9", kBoardPc104, kErrDriverVersion},
                                           DriverCase{"ambrix.sys", "3.0", kBoardPci, kErrDriverVersion},
                                           DriverCase{"ambrix.sys", "3.10", kBoardPci, kSuccess},
                                           DriverCase{"ambrix.sys", "3.1", kBoardPci, kSuccess},
                                           DriverCase{"ambrix.sys", "4.0", kBoardPci, kSuccess},
                                           DriverCase{"ambrix.sys", "2.99", kBoardPci, kErrDriverVersion},
                                           DriverCase{"ambrix.sys", "3.10", 5, kErrDriverVersion}));

TEST_F(EngineStart, MissingDriverFileOrVersionIsRefused) {
    std::filesystem::remove(qbase::systemDirectory() / "drivers" / "ambrix.sys.version");
    EXPECT_EQ(START_FIP_ENGINE(1, kBoardPci), kErrDriverVersion);
    std::filesystem::remove(qbase::systemDirectory() / "drivers" / "ambrix.sys");
    EXPECT_EQ(START_FIP_ENGINE(1, kBoardPci), kErrDriverVersion);
    EXPECT_EQ(board.opens(), 0);
}

TEST_F(EngineStart, UsbBoardsCannotBeOpened) {
    EXPECT_EQ(START_FIP_ENGINE(1, kBoardUsb), kErrBoardNotOpened);
    EXPECT_EQ(board.opens(), 0);
}

struct VariantCase {
    std::uint32_t cardType;
    std::uint32_t confWord;
    std::uint32_t variant;
};
class Variants : public EngineStart, public ::testing::WithParamInterface<VariantCase> {};
TEST_P(Variants, FollowTheDriverAndTheMediumBits) {
    const VariantCase& c = GetParam();
    board.answer(fdb::IOCTL_FDB_GET_CARD_TYPE, Bytes{static_cast<std::uint8_t>(c.cardType), 0, 0, 0});
    board.answer(fdb::IOCTL_GET_CARD_CONF, Bytes{0x12, 0x34, static_cast<std::uint8_t>(c.confWord >> 16), 0});
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPc104), kSuccess);
    EXPECT_EQ(currentContext()->boardVariant, c.variant);
}
INSTANTIATE_TEST_SUITE_P(Words, Variants,
                         ::testing::Values(VariantCase{0, 0x10000, 1}, VariantCase{2, 0x10000, 1},
                                           VariantCase{1, 0x10000, 2}, VariantCase{1, 0x20000, 1},
                                           VariantCase{1, 0x30000, 0}, VariantCase{1, 0, 0}));

TEST_F(EngineStart, ASecondStartClosesTheBoardItReplaces) {
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    EXPECT_EQ(board.opens(), 2);
    EXPECT_EQ(board.closes(), 1);
    STOP_FIP_ENGINE();
    EXPECT_EQ(board.closes(), 2);
}

TEST_F(EngineStart, StopWaitsAtMostTwentySecondsForTheRelease) {
    qbase::VirtualClock clock;
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    setDriverBoards("ambrix", 1, 1);  // the driver never clears the used mark
    board.fail(fdb::IOCTL_FULLFIP2_RESET, kStatusIoTimeout);
    const std::uint64_t before = clock.now();
    EXPECT_EQ(STOP_FIP_ENGINE(), kErrDeviceTimeout);
    const std::uint64_t waited = clock.now() - before;
    EXPECT_GE(waited, 200ull * 100 * 10000);
    EXPECT_LT(waited, 210ull * 100 * 10000);
    EXPECT_EQ(board.closes(), 1);
}

TEST_F(EngineStart, StopReturnsAsSoonAsTheBoardIsReleased) {
    qbase::VirtualClock clock;
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    const std::uint64_t before = clock.now();
    EXPECT_EQ(STOP_FIP_ENGINE(), kSuccess);
    EXPECT_LT(clock.now() - before, 100ull * 10000);
}

TEST_F(EngineStart, StopWithoutABoardDoesNotWait) {
    qbase::VirtualClock clock;
    setDriverBoards("ambrix", 1, 1);
    const std::uint64_t before = clock.now();
    EXPECT_EQ(STOP_FIP_ENGINE(), static_cast<ErrorCode>(ERROR_INVALID_HANDLE));
    EXPECT_LT(clock.now() - before, 100ull * 10000);
    EXPECT_TRUE(board.requests().empty());
}

TEST_F(EngineStart, ACopyOutlivingTheStopFailsInsteadOfReachingFreedState) {
    ASSERT_EQ(START_FIP_ENGINE(1, kBoardPci), kSuccess);
    loadTables(*currentContext(), {variable(0x10, "Temp")});
    ErrorCode copied = 1, afterStop = 0;
    std::uint32_t found = 0;
    std::thread reader([&] {
        copied = INIT_STORAGE();
        EXPECT_EQ(currentContext()->variableTable, lastStartedContext()->variableTable);
        std::array<std::uint8_t, 128> page{};
        EXPECT_EQ(FIP_READ_PHY(3, page.data()), 1u);
    });
    reader.join();
    EXPECT_EQ(copied, kSuccess);

    std::promise<void> copiedReady, stopped;
    std::thread holder([&] {
        INIT_STORAGE();
        copiedReady.set_value();
        stopped.get_future().wait();
        std::array<std::uint8_t, 128> page{};
        afterStop = FIP_READ_PHY(3, page.data()) ? 0 : GetLastError();
        std::int16_t index = -1;
        found = FIND_VAR_BY_ID(0x10, &index, nullptr, nullptr, nullptr);
    });
    copiedReady.get_future().wait();
    ASSERT_EQ(STOP_FIP_ENGINE(), kSuccess);
    stopped.set_value();
    holder.join();
    EXPECT_EQ(afterStop, static_cast<ErrorCode>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(found, 1u);  // the copy's tables stay valid until it lets them go

    // After the stop the last started context is empty: a new copy gets no board.
    std::thread late([] {
        EXPECT_EQ(INIT_STORAGE(), kSuccess);
        EXPECT_FALSE(currentContext()->device);
    });
    late.join();
}

}  // namespace
}  // namespace corvix::testing
