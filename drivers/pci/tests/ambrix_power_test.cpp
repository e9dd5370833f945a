// Power handling of the PCI board driver through the real stack: the default machine's first PCI
// board, its handle, and the power calls of the PnP boot surface.
#include <gtest/gtest.h>

#include <vector>

#include "pci_board_fixture.h"

namespace {

using qk::pnp::DevicePowerState;
using qk::pnp::SystemPowerState;
constexpr qk::NTSTATUS kUnsuccessful = static_cast<qk::NTSTATUS>(0xC0000001);

using ambrix::testing::openBoard;

class AmbrixPower : public ambrix::testing::PciBoardTest {
protected:
    DevicePowerState boardPower() { return machine_->pciBoard(0).powerState(); }
};

TEST_F(AmbrixPower, AControlAfterAPowerDownWakesTheBoardFirst) {
    EXPECT_EQ(boardPower(), DevicePowerState::D0);
    EXPECT_EQ(qk::pnp::setDevicePower(node(), DevicePowerState::D3), 0);
    EXPECT_EQ(boardPower(), DevicePowerState::D3);
    EXPECT_TRUE(pageRoundTrip(5, 0x5A));
    EXPECT_EQ(boardPower(), DevicePowerState::D0);
}

TEST_F(AmbrixPower, PnpRequestsFindTheBoardInD0) {
    ASSERT_EQ(qk::pnp::setDevicePower(node(), DevicePowerState::D3), 0);
    EXPECT_EQ(qk::pnp::queryRemove(node()), 0);
    EXPECT_EQ(boardPower(), DevicePowerState::D0);
    EXPECT_EQ(qk::pnp::cancelRemove(node()), 0);
    EXPECT_TRUE(pageRoundTrip(1, 1));
}

TEST_F(AmbrixPower, D0IsRefusedWhileTheSystemSleeps) {
    ASSERT_EQ(qk::pnp::setSystemPower(SystemPowerState::Sleeping3), 0);
    EXPECT_EQ(qk::pnp::setDevicePower(node(), DevicePowerState::D0), kUnsuccessful);
    ASSERT_EQ(qk::pnp::setSystemPower(SystemPowerState::Working), 0);
    EXPECT_TRUE(pageRoundTrip(2, 2));
}

// A removed board is powered down by its bus; the board enumerated again starts in D0 and serves.
TEST_F(AmbrixPower, StartAfterAPowerDown) {
    CloseHandle(board_);
    board_ = INVALID_HANDLE_VALUE;
    ASSERT_EQ(qk::pnp::remove(node()), 0);
    EXPECT_EQ(boardPower(), DevicePowerState::D3);
    const qk::pnp::EnumerateResult again = qk::pnp::enumerateBoard(machine_->pciBoard(0).description());
    EXPECT_EQ(again.addStatus, 0);
    EXPECT_EQ(again.startStatus, 0);
    EXPECT_EQ(boardPower(), DevicePowerState::D0);
    board_ = openBoard();
    ASSERT_NE(board_, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(pageRoundTrip(7, 7));
}

// Power sequences after which the board must be back in D0 and serve requests. Each power request
// is completed once (the kernel stops on a second completion) with the status checked here.
enum class Step { QuerySleep, Sleep, Hibernate, Resume, DeviceD3 };
struct Sequence {
    const char* name;
    std::vector<Step> steps;
};

class AmbrixPowerSequence : public AmbrixPower, public ::testing::WithParamInterface<Sequence> {};

TEST_P(AmbrixPowerSequence, LeavesTheBoardUsable) {
    std::uint8_t mark = 0;
    for (const Step step : GetParam().steps) {
        switch (step) {
        case Step::QuerySleep:
            EXPECT_EQ(qk::pnp::querySystemPower(SystemPowerState::Sleeping3), 0);
            break;
        case Step::Sleep:
            EXPECT_EQ(qk::pnp::setSystemPower(SystemPowerState::Sleeping3), 0);
            EXPECT_EQ(boardPower(), DevicePowerState::D3);
            break;
        case Step::Hibernate:
            EXPECT_EQ(qk::pnp::setSystemPower(SystemPowerState::Hibernate), 0);
            EXPECT_EQ(boardPower(), DevicePowerState::D3);
            break;
        case Step::Resume:  // the board follows the system on its own, or at the next request
            EXPECT_EQ(qk::pnp::setSystemPower(SystemPowerState::Working), 0);
            break;
        case Step::DeviceD3:
            EXPECT_EQ(qk::pnp::setDevicePower(node(), DevicePowerState::D3), 0);
            EXPECT_EQ(boardPower(), DevicePowerState::D3);
            EXPECT_TRUE(pageRoundTrip(3, ++mark));
            break;
        }
    }
    EXPECT_TRUE(pageRoundTrip(4, 0xA5));
    EXPECT_EQ(boardPower(), DevicePowerState::D0);
    EXPECT_TRUE(machine_->pciBoard(0).controller().checker().violations().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, AmbrixPowerSequence,
    ::testing::Values(Sequence{"SleepResume", {Step::Sleep, Step::Resume}},
                      Sequence{"QuerySleepResume", {Step::QuerySleep, Step::Sleep, Step::Resume}},
                      Sequence{"QueryThenStayAwake", {Step::QuerySleep, Step::Resume}},
                      Sequence{"HibernateResume", {Step::Hibernate, Step::Resume}},
                      Sequence{"IdleThenSleep", {Step::DeviceD3, Step::Sleep, Step::Resume}},
                      Sequence{"RepeatedCycles", {Step::Sleep, Step::Resume, Step::DeviceD3, Step::DeviceD3,
                                                  Step::QuerySleep, Step::Sleep, Step::Resume}}),
    [](const ::testing::TestParamInfo<Sequence>& info) { return std::string(info.param.name); });

}  // namespace
