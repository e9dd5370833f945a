// The card operations through their exports, on a thread context attached to a scripted board.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "card_operation.h"
#include "corvix.h"
#include "engine_errors.h"
#include "engine_fixture.h"
#include "fdb_ioctl.h"

namespace corvix::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::Each;

class CardOperations : public EngineOnScriptedBoard {};

TEST_F(CardOperations, ReadVarCopiesTheValueAndThePromptnessBitOnlyWhereConfigured) {
    auto prompt = variable(0x10, "prompt");
    prompt.promptness_status = 1;
    load({variable(0x11, "plain"), prompt});
    board.answer(fdb::IOCTL_FDB_READ_VAR, Bytes{0x27, 2, 0xAB, 0xCD});
    std::array<std::uint8_t, 128> data{};
    std::uint8_t status = 0xEE;
    ASSERT_EQ(FIP_READ_VAR(1, data.data(), &status), kSuccess);
    EXPECT_EQ(status, 0xA0);
    EXPECT_THAT(std::vector(data.begin(), data.begin() + 3), ElementsAre(0xAB, 0xCD, 0));
    ASSERT_EQ(FIP_READ_VAR(0, data.data(), &status), kSuccess);
    EXPECT_EQ(status, 0);
    ASSERT_EQ(FIP_READ_VAR(7, data.data(), &status), kSuccess);  // outside the table
    EXPECT_EQ(status, 0);
}

TEST_F(CardOperations, ReadVarRefusalIsTheCardErrorAndLeavesTheOutputs) {
    load({variable(0x11, "plain")});
    board.answer(fdb::IOCTL_FDB_READ_VAR, Bytes{0x83});
    std::array<std::uint8_t, 128> data;
    data.fill(0x5A);
    std::uint8_t status = 0x5A;
    EXPECT_EQ(FIP_READ_VAR(0, data.data(), &status), 0x60000003u);
    EXPECT_THAT(data, Each(0x5A));
    EXPECT_EQ(status, 0x5A);
}

TEST_F(CardOperations, WithoutABoardVariableCallsDoNothing) {
    load({variable(0x11, "plain")});
    context().device.reset();
    std::array<std::uint8_t, 128> data{};
    std::uint8_t status = 0;
    EXPECT_EQ(FIP_READ_VAR(0, data.data(), &status), kErrNoBoard);
    EXPECT_EQ(FIP_WRITE_VAR(0, data.data()), kErrNoBoard);
    EXPECT_EQ(FIP_WRITE_VAR(1, data.data()), kPlatformInvalidParameter);
    EXPECT_TRUE(board.requests().empty());
}

TEST_F(CardOperations, WriteVarSendsTheConfiguredLengthAtMost128Bytes) {
    load({variable(0x11, "two", 2), variable(0x12, "huge", 300)});
    std::array<std::uint8_t, 128> data;
    data.fill(0x77);
    ASSERT_EQ(FIP_WRITE_VAR(0, data.data()), kSuccess);
    const Bytes& first = board.requests().back().input;
    EXPECT_EQ(first[0], 0);
    EXPECT_EQ(first[2], 0x77);
    EXPECT_EQ(first[3], 0x77);
    EXPECT_EQ(first[4], 0);
    ASSERT_EQ(FIP_WRITE_VAR(1, data.data()), kSuccess);
    EXPECT_THAT(std::vector(board.requests().back().input.begin() + 2, board.requests().back().input.end()),
                Each(0x77));
    EXPECT_EQ(FIP_WRITE_VAR(2, data.data()), kPlatformInvalidParameter);
}

TEST_F(CardOperations, WriteMsgSendsUpTo252BytesThenTheSendRequest) {
    const std::array<std::uint8_t, 253> data{};
    ASSERT_EQ(FIP_WRITE_MSG(5, 0x0140, 1, 0x33, 252, 0x1122, 2, 0x3344, 4, data.data()), kSuccess);
    EXPECT_THAT(board.codes(), ElementsAre(fdb::IOCTL_FDB_WRITE_MSG, fdb::IOCTL_FDB_SEND_MSG));
    EXPECT_THAT(board.requests()[1].input,
                ElementsAre(0x40, 0x01, 1, 0x01, 0x33, 0x11, 0x22, 2, 0x33, 0x44, 4, 0x25, 0x90, 0));
    board.clear();
    EXPECT_EQ(FIP_WRITE_MSG(5, 0x0140, 1, 0x33, 253, 0x1122, 2, 0x3344, 4, data.data()), 0x60000007u);
    EXPECT_TRUE(board.requests().empty());
    board.answer(fdb::IOCTL_FDB_WRITE_MSG, Bytes{0x82});
    EXPECT_EQ(FIP_WRITE_MSG(0, 1, 0, 0, 3, 0, 0, 0, 0, data.data()), 0x60000002u);
    EXPECT_THAT(board.codes(), ElementsAre(fdb::IOCTL_FDB_WRITE_MSG));
}

struct ReadMsgOutputs {
    std::uint16_t length = 0xFFFF, destination = 0xFFFF, source = 0xFFFF;
    std::uint8_t destinationSegment = 0xFF, sourceSegment = 0xFF;
    std::array<std::uint8_t, 252> data{};
    ErrorCode read(std::uint16_t key) {
        return FIP_READ_MSG(key, nullptr, &length, &destination, &destinationSegment, &source, &sourceSegment,
                            data.data());
    }
};

TEST_F(CardOperations, ReadMsgGivesTheHeaderAndTheMessageBytes) {
    board.answer(fdb::IOCTL_FDB_RECEIVE_MSG, Bytes{0, 0, 3, 0x12, 0x34, 5, 0x56, 0x78, 9});
    board.answer(fdb::IOCTL_FDB_READ_MSG, Bytes{0, 0xA1, 0xA2, 0xA3});
    ReadMsgOutputs out;
    ASSERT_EQ(out.read(0x0203), kSuccess);
    EXPECT_EQ(out.length, 3);
    EXPECT_EQ(out.destination, 0x1234);
    EXPECT_EQ(out.destinationSegment, 5);
    EXPECT_EQ(out.source, 0x5678);
    EXPECT_EQ(out.sourceSegment, 9);
    EXPECT_THAT(std::vector(out.data.begin(), out.data.begin() + 4), ElementsAre(0xA1, 0xA2, 0xA3, 0));
    EXPECT_EQ(board.requests()[1].input, (Bytes{0x03, 0x02}));
}

TEST_F(CardOperations, ReadMsgOneByteRefusalIsTheCardErrorWithZeroedHeader) {
    board.answer(fdb::IOCTL_FDB_RECEIVE_MSG, Bytes{0x85});
    ReadMsgOutputs out;
    EXPECT_EQ(out.read(1), 0x60000005u);
    EXPECT_EQ(out.length, 0);
    EXPECT_EQ(out.source, 0);
    EXPECT_EQ(out.destinationSegment, 0);
    EXPECT_THAT(board.codes(), ElementsAre(fdb::IOCTL_FDB_RECEIVE_MSG));
}

TEST_F(CardOperations, ReadMsgCopiesNoMoreThanTheBoardReturned) {
    board.answer(fdb::IOCTL_FDB_RECEIVE_MSG, Bytes{0, 0, 200, 0, 1, 0, 0, 2, 0});
    board.answer(fdb::IOCTL_FDB_READ_MSG, Bytes{0, 1, 2, 3, 4});
    ReadMsgOutputs out;
    out.data.fill(0xEE);
    ASSERT_EQ(out.read(1), kSuccess);
    EXPECT_EQ(out.length, 4);
    EXPECT_EQ(out.data[3], 4);
    EXPECT_EQ(out.data[4], 0xEE);
    board.answer(fdb::IOCTL_FDB_READ_MSG, Bytes{0x81});
    EXPECT_EQ(out.read(1), 0x60000001u);
    board.answer(fdb::IOCTL_FDB_RECEIVE_MSG, Bytes{0, 0, 1});
    EXPECT_EQ(out.read(1), kErrReplyLength);
}

TEST_F(CardOperations, EventDefinitionChecksTheKindBeforeTouchingTheBoard) {
    EXPECT_EQ(DEF_VAR_EVENT(1, 3, 0, 4), kErrEventKind);
    EXPECT_EQ(DEF_VAR_EVENT(1, 0, 0, 4), kErrEventKind);
    EXPECT_TRUE(board.requests().empty());
    ASSERT_EQ(DEF_VAR_EVENT(1, 2, 9, 0x0104), kSuccess);
    EXPECT_EQ(board.requests().back().input, (Bytes{9, 0x82, 0x04, 0x01}));
    ASSERT_EQ(DEF_VAR_EVENT(2, 1, 9, 0x0104), kSuccess);
    EXPECT_EQ(board.requests().back().input[1], 0x01);
}

TEST_F(CardOperations, ReadEventSplitsTheEventByteAndWritesAlsoOnRefusal) {
    std::uint8_t flag, value, kind, parameter;
    std::uint16_t identifier;
    board.answer(fdb::IOCTL_FDB_READ_EVT, Bytes{0, 0x9D, 7, 0x12, 0x34});
    ASSERT_EQ(READ_EVENT(&flag, &value, &kind, &parameter, &identifier), kSuccess);
    EXPECT_EQ(flag, 1);
    EXPECT_EQ(value, 0x1C);
    EXPECT_EQ(kind, 1);
    EXPECT_EQ(parameter, 7);
    EXPECT_EQ(identifier, 0x1234);
    board.answer(fdb::IOCTL_FDB_READ_EVT, Bytes{0x84, 0x02, 1, 0, 5});
    EXPECT_EQ(READ_EVENT(&flag, &value, &kind, &parameter, &identifier), 0x60000004u);
    EXPECT_EQ(kind, 2);
    EXPECT_EQ(identifier, 5);
}

TEST_F(CardOperations, IsEventReportsBitFive) {
    std::uint32_t pending = 7;
    board.answer(fdb::IOCTL_FDB_IS_EVT, Bytes{0x20});
    ASSERT_EQ(IS_EVENT(&pending), kSuccess);
    EXPECT_EQ(pending, 1u);
    board.answer(fdb::IOCTL_FDB_IS_EVT, Bytes{0xDF});
    ASSERT_EQ(IS_EVENT(&pending), kSuccess);
    EXPECT_EQ(pending, 0u);
}

TEST_F(CardOperations, AperiodicRequestsAndPurges) {
    ASSERT_EQ(SEND_APER(0, 0x0203), kSuccess);
    EXPECT_EQ(board.requests().back().input, (Bytes{0x03, 0x02, 0, 0}));
    for (const auto& [channel, word] : {std::pair<int, int>{0, 0x2191}, {1, 0x2581}, {8, 0x259D}, {9, 0}}) {
        ASSERT_EQ(PURGE(static_cast<std::uint8_t>(channel)), kSuccess);
        EXPECT_EQ(board.requests().back().input,
                  (Bytes{static_cast<std::uint8_t>(word), static_cast<std::uint8_t>(word >> 8)}));
    }
}

class BusArbitrator : public EngineOnScriptedBoard {
protected:
    void SetUp() override {
        EngineOnScriptedBoard::SetUp();
        context().configHeader[14] = 1;  // BA memory granted
    }
    void report(std::uint8_t byte) { board.answer(fdb::IOCTL_FDB_BA_REPORT, Bytes{byte}); }
};

TEST_F(BusArbitrator, StartNeedsBaMemoryAndAStoppedBa) {
    context().configHeader[14] = 0;
    EXPECT_EQ(START_BA(0x400), kErrNoBaMemory);
    EXPECT_TRUE(board.requests().empty());
    context().configHeader[14] = 1;
    report(0xFA);  // starting
    EXPECT_EQ(START_BA(0x400), kErrBaNotStopped);
    report(0x09);
    ASSERT_EQ(START_BA(0x400), kSuccess);
    EXPECT_THAT(board.codes(), ElementsAre(fdb::IOCTL_FDB_BA_REPORT, fdb::IOCTL_FDB_BA_REPORT, fdb::IOCTL_FDB_START_BA));
    EXPECT_EQ(board.requests().back().input, (Bytes{0x00, 0x04}));
    board.fail(fdb::IOCTL_FDB_BA_REPORT, kStatusIoTimeout);
    EXPECT_EQ(START_BA(0x400), kErrDeviceTimeout);
}

TEST_F(BusArbitrator, StopRefusedWhileStoppedOrStarting) {
    for (const std::uint8_t state : {0x09, 0x0A, 0x19}) {
        report(state);
        EXPECT_EQ(STOP_BA(), kErrBaStoppedOrStarting) << int(state);
    }
    report(0x08);
    ASSERT_EQ(STOP_BA(), kSuccess);
    EXPECT_EQ(board.codes().back(), fdb::IOCTL_FDB_STOP_BA);
    std::uint8_t state = 0;
    report(0xAB);
    ASSERT_EQ(BA_REPORT(&state), kSuccess);
    EXPECT_EQ(state, 0x0B);
    report(0x89);  // a report, not a status: no card error
    EXPECT_EQ(BA_REPORT(&state), kSuccess);
}

TEST_F(BusArbitrator, ContinueAndChangeWords) {
    ASSERT_EQ(CONTINUE_BA(1, 0x1234), kSuccess);
    EXPECT_EQ(board.requests().back().input, (Bytes{0x31, 0x12}));
    ASSERT_EQ(CONTINUE_BA(0, 0x1234), kSuccess);
    EXPECT_EQ(board.requests().back().input, (Bytes{0x30, 0x12}));
    ASSERT_EQ(CHANGE_BA(0x1234), kSuccess);
    EXPECT_EQ(board.requests().back().input, (Bytes{0x30, 0x12}));
}

TEST_F(CardOperations, PageReadAndWriteReportThroughTheLastError) {
    std::array<std::uint8_t, 128> page{};
    page.fill(3);
    EXPECT_NE(FIP_WRITE_PHY(12, page.data()), 0u);
    EXPECT_EQ(board.requests().back().input.size(), 130u);
    board.answer(fdb::IOCTL_READ_PHY, Bytes(128, 9));
    ASSERT_NE(FIP_READ_PHY(12, page.data()), 0u);
    EXPECT_THAT(page, Each(9));
    board.fail(fdb::IOCTL_READ_PHY, kStatusIoTimeout);
    EXPECT_EQ(FIP_READ_PHY(12, page.data()), 0u);
    EXPECT_EQ(GetLastError(), kErrDeviceTimeout);
}

TEST_F(CardOperations, BaProgramAddressesAreWordAddressesOfTheirPages) {
    std::int16_t first = -1, second = -1;
    GET_BA_PROGRAM_ADDR(&first, &second);
    EXPECT_EQ(first, 0);
    EXPECT_EQ(second, 0);
    context().baProgram1Page = 0x100;
    context().baProgram2Page = 0x108;
    GET_BA_PROGRAM_ADDR(&first, &second);
    EXPECT_EQ(first, 0x4000);
    EXPECT_EQ(second, 0x4200);
}

}  // namespace
}  // namespace corvix::testing
