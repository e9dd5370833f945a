// The rules every FULLFIP2 command shares: the busy check, the 50 s time-out with CLOSE, and the
// buffer-size checks before anything touches the board.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "base/clock.h"
#include "command_handlers.h"
#include "fake_controller.h"
#include "fdb_ioctl.h"

namespace fullfip2 {
namespace {

using testing::FakeController;

struct Sized {
    const char* name;
    std::uint32_t code;
    std::uint32_t in;
    std::uint32_t out;
};

Completion run(FakeController& board, const Sized& c) {
    std::vector<std::uint8_t> buffer(std::max<std::uint32_t>({c.in, c.out, 1}), 0);
    buffer[0] = 1;  // a nonzero key or purge word
    if (c.code == fdb::IOCTL_FDB_WRITE_MSG) buffer[2] = 10;  // message length
    Handler handler = findHandler(c.code);
    EXPECT_NE(handler, nullptr) << c.name;
    return handler(board, c.in, c.out, buffer.data());
}

// Valid sizes of every command that runs a FULLFIP2 transaction.
const Sized kTransactions[] = {
    {"READ_PHY", fdb::IOCTL_READ_PHY, 2, 128},
    {"WRITE_PHY", fdb::IOCTL_WRITE_PHY, 130, 0},
    {"RAZ_MEM", fdb::IOCTL_FDB_FIP_RAZ_MEM, 0, 0},
    {"START_CIRCUIT", fdb::IOCTL_FDB_START_CIRCUIT, 2, 0},
    {"END_TEST", fdb::IOCTL_FDB_END_TEST, 0, 0},
    {"READ_VAR", fdb::IOCTL_FDB_READ_VAR, 2, 133},
    {"WRITE_VAR", fdb::IOCTL_FDB_WRITE_VAR, 130, 1},
    {"START_BA", fdb::IOCTL_FDB_START_BA, 2, 1},
    {"STOP_BA", fdb::IOCTL_FDB_STOP_BA, 0, 1},
    {"BA_REPORT", fdb::IOCTL_FDB_BA_REPORT, 0, 1},
    {"CONTINUE_BA", fdb::IOCTL_FDB_CONTINUE_BA, 2, 1},
    {"CHANGE_MACRO_BA", fdb::IOCTL_FDB_CHANGE_MACRO_BA, 2, 1},
    {"DEF_EVT", fdb::IOCTL_FDB_DEF_EVT, 4, 1},
    {"RECEIVE_MSG", fdb::IOCTL_FDB_RECEIVE_MSG, 2, 9},
    {"READ_MSG", fdb::IOCTL_FDB_READ_MSG, 2, 252},
    {"WRITE_MSG", fdb::IOCTL_FDB_WRITE_MSG, 256, 1},
    {"SEND_MSG", fdb::IOCTL_FDB_SEND_MSG, 14, 1},
    {"PURGE", fdb::IOCTL_FDB_PURGE, 2, 1},
    {"READ_EVT", fdb::IOCTL_FDB_READ_EVT, 0, 5},
    {"SEND_APER", fdb::IOCTL_FDB_SEND_APER, 4, 1},
};

class EveryTransaction : public ::testing::TestWithParam<Sized> {};

TEST_P(EveryTransaction, BusyBoardIsRefusedBeforeAnyWrite) {
    FakeController board;
    board.idleState = 0x80;
    EXPECT_EQ(run(board, GetParam()), (Completion{nt::kDeviceBusy, 0}));
    EXPECT_EQ(board.writes(), 0u);
}

TEST_P(EveryTransaction, SilentControllerTimesOutAfter50sAndCloses) {
    qbase::VirtualClock clock(100'000);  // 10 ms per clock read
    FakeController board;
    board.openState = 0x80;  // busy for ever once a command is written
    EXPECT_EQ(run(board, GetParam()), (Completion{nt::kTimeout, 0}));
    EXPECT_GE(clock.now(), std::uint64_t{kWaitLimit100ns});
    ASSERT_FALSE(board.commands().empty());
    EXPECT_EQ(board.commands().back(), kClose);
    EXPECT_FALSE(board.transactionOpen());
    EXPECT_EQ(completionStatus(nt::kTimeout), nt::kIoTimeout);
}

TEST_P(EveryTransaction, ReadyControllerLeavesNoTransactionOpen) {
    FakeController board;
    board.varSize = GetParam().code == fdb::IOCTL_FDB_DEF_EVT ? 2 : 0;
    (void)run(board, GetParam());
    EXPECT_FALSE(board.transactionOpen());
}

INSTANTIATE_TEST_SUITE_P(Commands, EveryTransaction, ::testing::ValuesIn(kTransactions),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DefParam, IsBusyOnlyWhileAnAnswerIsPending) {
    const Sized defParam{"DEF_PARAM", fdb::IOCTL_FDB_DEF_PARAM, 1, 1};
    FakeController busy;
    busy.idleState = 0x80;
    busy.idleAfterClose = 0x00;
    EXPECT_EQ(run(busy, defParam), (Completion{nt::kSuccess, 1}));
    FakeController pending;
    pending.idleState = 0x90;
    EXPECT_EQ(run(pending, defParam), (Completion{nt::kDeviceBusy, 0}));
    EXPECT_EQ(pending.writes(), 0u);
}

// Wrong sizes that are checked before the command byte: nothing touches the board.
const Sized kWrongSizes[] = {
    {"READ_PHY_in", fdb::IOCTL_READ_PHY, 3, 128},
    {"WRITE_PHY_in", fdb::IOCTL_WRITE_PHY, 129, 0},
    {"START_CIRCUIT_in", fdb::IOCTL_FDB_START_CIRCUIT, 1, 0},
    {"READ_VAR_in", fdb::IOCTL_FDB_READ_VAR, 1, 133},
    {"READ_VAR_out", fdb::IOCTL_FDB_READ_VAR, 2, 132},
    {"WRITE_VAR_in", fdb::IOCTL_FDB_WRITE_VAR, 129, 1},
    {"WRITE_VAR_out", fdb::IOCTL_FDB_WRITE_VAR, 130, 2},
    {"DEF_PARAM_in", fdb::IOCTL_FDB_DEF_PARAM, 2, 1},
    {"START_BA_in", fdb::IOCTL_FDB_START_BA, 3, 1},
    {"STOP_BA_out", fdb::IOCTL_FDB_STOP_BA, 0, 2},
    {"BA_REPORT_out", fdb::IOCTL_FDB_BA_REPORT, 0, 0},
    {"DEF_EVT_in", fdb::IOCTL_FDB_DEF_EVT, 3, 1},
    {"RECEIVE_MSG_in", fdb::IOCTL_FDB_RECEIVE_MSG, 4, 9},
    {"RECEIVE_MSG_no_out", fdb::IOCTL_FDB_RECEIVE_MSG, 2, 0},
    {"READ_MSG_out", fdb::IOCTL_FDB_READ_MSG, 2, 251},
    {"WRITE_MSG_in", fdb::IOCTL_FDB_WRITE_MSG, 255, 1},
    {"SEND_MSG_in", fdb::IOCTL_FDB_SEND_MSG, 2, 1},
    {"PURGE_in", fdb::IOCTL_FDB_PURGE, 1, 1},
    {"READ_EVT_out", fdb::IOCTL_FDB_READ_EVT, 0, 4},
    {"SEND_APER_in", fdb::IOCTL_FDB_SEND_APER, 2, 1},
    {"IS_EVT_out", fdb::IOCTL_FDB_IS_EVT, 0, 4},
    {"MEDIUM_in", fdb::IOCTL_FDB_MEDIUM_ACCESS, 2, 1},
};

class WrongSize : public ::testing::TestWithParam<Sized> {};

TEST_P(WrongSize, IsInvalidParameterWithoutTouchingTheBoard) {
    FakeController board;
    EXPECT_EQ(run(board, GetParam()), (Completion{nt::kInvalidParameter, 0}));
    EXPECT_TRUE(board.log.empty());
}

INSTANTIATE_TEST_SUITE_P(Commands, WrongSize, ::testing::ValuesIn(kWrongSizes),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HandlerTable, ServesOnlyTheFipCommands) {
    EXPECT_EQ(findHandler(fdb::IOCTL_FDB_READ_VAR), &BASE_READ_VAR);
    EXPECT_EQ(findHandler(fdb::IOCTL_FDB_MEDIUM_ACCESS), &BASE_MEDIUM_ACCESS);
    for (std::uint32_t boardCode : {fdb::IOCTL_GET_PCI_SLOT, fdb::IOCTL_FDB_GET_CARD_TYPE, fdb::IOCTL_GET_SERIAL_NUMBER,
                                    fdb::IOCTL_FULLFIP2_RESET, 0u})
        EXPECT_EQ(findHandler(boardCode), nullptr);
}

TEST(WaitUstate, HoldingConditionIsNeverATimeOut) {
    qbase::VirtualClock clock(kWaitLimit100ns);  // every clock read jumps past the limit
    FakeController board;
    board.idleState = 0x90;
    EXPECT_EQ(WaitUstate(board, 0x90, WaitMode::Set), nt::kSuccess);
    EXPECT_EQ(WaitUstate(board, 0x08, WaitMode::Clear), nt::kSuccess);
    EXPECT_EQ(WaitUstate(board, 0x98, WaitMode::Set), nt::kTimeout);
}

}  // namespace
}  // namespace fullfip2
