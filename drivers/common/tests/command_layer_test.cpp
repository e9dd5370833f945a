// The FULLFIP2 commands one by one: the register sequences, the controller's answers and the
// output that each leaves in the shared system buffer.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "command_handlers.h"
#include "fake_controller.h"
#include "fdb_ioctl.h"

namespace fullfip2 {
namespace {

using testing::Access;
using testing::FakeController;

std::vector<std::uint8_t> bytes(std::size_t n, std::uint8_t first = 0) {
    std::vector<std::uint8_t> v(n);
    std::iota(v.begin(), v.end(), first);
    return v;
}

std::vector<Access> writesOf(const FakeController& board) {
    std::vector<Access> result;
    for (const Access& a : board.log)
        if (a.write) result.push_back(a);
    return result;
}

TEST(ReadVar, SendsTheKeyHighByteFirstAndReturnsStatusSizeAndData) {
    FakeController board;
    board.status = 0x21;
    board.varSize = 3;
    board.fifoOut = {0xAA, 0xBB, 0xCC};
    std::vector<std::uint8_t> buffer(fdb::kReadVarOutput);
    buffer[0] = 0x34;
    buffer[1] = 0x12;
    EXPECT_EQ(BASE_READ_VAR(board, 2, 133, buffer.data()), (Completion{nt::kSuccess, 5}));
    EXPECT_EQ(std::vector(buffer.begin(), buffer.begin() + 5), (std::vector<std::uint8_t>{0x21, 3, 0xAA, 0xBB, 0xCC}));
    EXPECT_EQ(writesOf(board), (std::vector<Access>{{true, false, 2, 0x12}, {true, false, 3, 0x34},
                                                    {true, false, 0, 0x41}, {true, false, 0, 0}}));
}

TEST(ReadVar, CardRefusalIsOneStatusByteAndSuccess) {
    FakeController board;
    board.status = 0x85;
    board.varSize = 4;
    std::vector<std::uint8_t> buffer(133);
    EXPECT_EQ(BASE_READ_VAR(board, 2, 133, buffer.data()), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(buffer[0], 0x85);
    EXPECT_TRUE(board.fifoIn.empty());
    EXPECT_EQ(board.commands(), (std::vector<std::uint8_t>{0x41, kClose}));
}

struct SizeCase {
    std::uint8_t varSize;
    Completion expected;
};
class ReadVarSize : public ::testing::TestWithParam<SizeCase> {};
TEST_P(ReadVarSize, FillsTheOutputUpToItsRoom) {
    FakeController board;
    board.varSize = GetParam().varSize;
    const auto data = bytes(GetParam().varSize);
    board.fifoOut.assign(data.begin(), data.end());
    std::vector<std::uint8_t> buffer(133);
    EXPECT_EQ(BASE_READ_VAR(board, 2, 133, buffer.data()), GetParam().expected);
    EXPECT_EQ(board.commands().back(), kClose);
}
INSTANTIATE_TEST_SUITE_P(Sizes, ReadVarSize,
                         ::testing::Values(SizeCase{1, {nt::kSuccess, 3}}, SizeCase{131, {nt::kSuccess, 133}},
                                           SizeCase{132, {nt::kInvalidDeviceState, 0}},
                                           SizeCase{255, {nt::kInvalidDeviceState, 0}}));

TEST(ReadPhy, ShortOutputIsRefusedAfterVarSizeWithClose) {
    FakeController board;
    board.varSize = 128;
    std::vector<std::uint8_t> buffer(64);
    EXPECT_EQ(BASE_READ_PHY(board, 2, 64, buffer.data()), (Completion{nt::kInvalidParameter, 0}));
    EXPECT_EQ(board.commands(), (std::vector<std::uint8_t>{0x40, kClose}));
}

TEST(ReadPhy, ReadsTheWholePage) {
    FakeController board;
    board.varSize = 128;
    const auto page = bytes(128, 7);
    board.fifoOut.assign(page.begin(), page.end());
    std::vector<std::uint8_t> buffer(128);
    buffer[0] = 9;
    EXPECT_EQ(BASE_READ_PHY(board, 2, 128, buffer.data()), (Completion{nt::kSuccess, 128}));
    EXPECT_EQ(buffer, page);
}

TEST(WritePhy, WritesThePageBytesAfterTheKey) {
    FakeController board;
    board.varSize = 128;
    auto buffer = bytes(130);
    EXPECT_EQ(BASE_WRITE_PHY(board, 130, 0, buffer.data()), (Completion{nt::kSuccess, 0}));
    EXPECT_EQ(board.fifoIn, std::vector(buffer.begin() + 2, buffer.end()));
}

TEST(RazMem, ZeroesAllPagesInOrder) {
    FakeController board;
    board.varSize = 128;
    EXPECT_EQ(BASE_RAZ_MEM(board, 0, 0, nullptr), (Completion{nt::kSuccess, 0}));
    EXPECT_EQ(board.fifoIn.size(), 1024u * 128u);
    EXPECT_TRUE(std::all_of(board.fifoIn.begin(), board.fifoIn.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(board.commands().size(), 2048u);
    const auto w = writesOf(board);
    // The last page's key: 1023 = 0x03FF.
    const auto lastKey = std::find_if(w.rbegin(), w.rend(), [](const Access& a) { return a.reg == 2; });
    EXPECT_EQ(lastKey->value, 0x03);
}

TEST(RazMem, StopsAtTheFirstFailingPage) {
    FakeController board;
    board.varSize = 64;
    EXPECT_EQ(BASE_RAZ_MEM(board, 0, 0, nullptr), (Completion{nt::kInvalidDeviceState, 0}));
    EXPECT_EQ(board.commands(), (std::vector<std::uint8_t>{0xC4, kClose}));
}

TEST(WriteVar, MissingDataRequestGivesUnsuccessfulWithClose) {
    FakeController board;
    board.openState = 0x90;  // answer, but bit 3 clear
    board.varSize = 4;
    std::vector<std::uint8_t> buffer(130);
    EXPECT_EQ(BASE_WRITE_VAR(board, 130, 1, buffer.data()), (Completion{nt::kUnsuccessful, 0}));
    EXPECT_EQ(buffer[0], 0x90);
    EXPECT_TRUE(board.fifoIn.empty());
    EXPECT_EQ(board.commands(), (std::vector<std::uint8_t>{0xC5, kClose}));
}

TEST(WriteVar, WritesVarSizeBytesAndRefusesMoreThanTheInputHolds) {
    FakeController board;
    board.varSize = 5;
    board.status = 0x02;
    auto buffer = bytes(130);
    EXPECT_EQ(BASE_WRITE_VAR(board, 130, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(buffer[0], 0x02);
    EXPECT_EQ(board.fifoIn, (std::vector<std::uint8_t>{2, 3, 4, 5, 6}));

    FakeController tooLarge;
    tooLarge.varSize = 129;
    EXPECT_EQ(BASE_WRITE_VAR(tooLarge, 130, 1, buffer.data()), (Completion{nt::kInvalidDeviceState, 0}));
    EXPECT_TRUE(tooLarge.fifoIn.empty());
    EXPECT_FALSE(tooLarge.transactionOpen());
}

struct WriteMsgCase {
    std::uint16_t length;
    std::uint8_t varSize;
    Completion expected;
    std::size_t written;
    std::size_t commands;
};
class WriteMsg : public ::testing::TestWithParam<WriteMsgCase> {};
TEST_P(WriteMsg, WritesExactlyTheLengthWithinTheContract) {
    const WriteMsgCase& c = GetParam();
    FakeController board;
    board.varSize = c.varSize;
    board.status = 0x07;
    auto buffer = bytes(256);
    buffer[2] = static_cast<std::uint8_t>(c.length & 0xFF);
    buffer[3] = static_cast<std::uint8_t>(c.length >> 8);
    EXPECT_EQ(BASE_WRITE_MSG(board, 256, 1, buffer.data()), c.expected);
    EXPECT_EQ(board.fifoIn.size(), c.written);
    EXPECT_EQ(board.commands().size(), c.commands);
    if (c.expected.status == nt::kSuccess) {
        EXPECT_EQ(buffer[0], 0x07);
    }
}
INSTANTIATE_TEST_SUITE_P(Lengths, WriteMsg,
                         ::testing::Values(WriteMsgCase{10, 251, {nt::kSuccess, 1}, 10, 2},
                                           WriteMsgCase{251, 200, {nt::kSuccess, 1}, 251, 2},
                                           WriteMsgCase{252, 251, {nt::kSuccess, 1}, 252, 2},
                                           WriteMsgCase{252, 200, {nt::kInvalidParameter, 0}, 0, 2},
                                           WriteMsgCase{253, 251, {nt::kInvalidParameter, 0}, 0, 0},
                                           WriteMsgCase{0xFFFF, 251, {nt::kInvalidParameter, 0}, 0, 0}));

TEST(SendMsg, ShortInputSucceedsOnlyWhenTheCardRefuses) {
    FakeController refusing;
    refusing.status = 0x81;
    std::vector<std::uint8_t> buffer{1, 0, 1};
    EXPECT_EQ(BASE_SEND_MSG(refusing, 3, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(buffer[0], 0x81);

    FakeController accepting;
    accepting.varSize = 10;
    buffer = {1, 0, 0};
    EXPECT_EQ(BASE_SEND_MSG(accepting, 3, 1, buffer.data()), (Completion{nt::kInvalidParameter, 0}));
    EXPECT_EQ(accepting.commands(), (std::vector<std::uint8_t>{0x89, kClose}));
}

TEST(SendMsg, AcknowledgedSendWritesTheTenRequestBytes) {
    FakeController board;
    board.varSize = 10;
    auto buffer = bytes(14);
    buffer[2] = 1;
    EXPECT_EQ(BASE_SEND_MSG(board, 14, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(board.commands().front(), 0x99);
    EXPECT_EQ(board.fifoIn, (std::vector<std::uint8_t>{3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(Purge, DrainsOnlyForANonzeroWord) {
    for (std::uint8_t word : {0, 0x91}) {
        FakeController board;
        board.varSize = 3;
        board.fifoOut = {1, 2, 3};
        board.status = 0x04;
        std::vector<std::uint8_t> buffer{word, 0x21};
        if (word == 0) {
            buffer[1] = 0;
        }
        EXPECT_EQ(BASE_PURGE(board, 2, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
        EXPECT_EQ(buffer[0], 0x04);
        EXPECT_EQ(board.fifoOut.size(), word == 0 ? 3u : 0u);
    }
}

TEST(DefEvt, KeyFromBytesThreeAndTwoThenFlagsBeforeParameter) {
    FakeController board;
    board.varSize = 2;
    board.status = 0x03;
    std::vector<std::uint8_t> buffer{0xA1, 0xF2, 0x34, 0x12};
    EXPECT_EQ(BASE_DEF_EVT(board, 4, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(buffer[0], 0x03);
    EXPECT_EQ(writesOf(board), (std::vector<Access>{{true, false, 2, 0x12}, {true, false, 3, 0x34},
                                                    {true, false, 0, 0xC6}, {true, false, 7, 0xF2},
                                                    {true, false, 7, 0xA1}, {true, false, 0, 0}}));
}

TEST(ReceiveMsg, ReadsTheEightHeaderBytes) {
    FakeController board;
    board.varSize = 8;
    board.status = 0x01;
    const auto header = bytes(8, 0x10);
    board.fifoOut.assign(header.begin(), header.end());
    std::vector<std::uint8_t> buffer(9);
    EXPECT_EQ(BASE_RECEIVE_MSG(board, 2, 9, buffer.data()), (Completion{nt::kSuccess, 9}));
    EXPECT_EQ(buffer, (std::vector<std::uint8_t>{0x01, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17}));
}

TEST(StatusCommands, CarryTheirCommandByteAndKey) {
    struct Case {
        Handler handler;
        std::uint32_t in;
        std::vector<std::uint8_t> input;
        std::uint8_t command;
        bool keyed;
    };
    const Case cases[] = {
        {BASE_START_BA, 2, {0x00, 0x04}, 0x87, true}, {BASE_STOP_BA, 0, {0}, 0x97, false},
        {BASE_BA_REPORT, 0, {0}, 0xB7, false},        {BASE_CONTINUE_BA, 2, {1, 2}, 0xA7, true},
        {BASE_CHANGE_MACRO_BA, 2, {1, 2}, 0xE7, true}, {BASE_SEND_APER, 4, {5, 0, 1, 0}, 0x98, true},
        {BASE_SEND_APER, 4, {5, 0, 0, 0}, 0x88, true},
    };
    for (const Case& c : cases) {
        FakeController board;
        board.status = 0x42;
        auto buffer = c.input;
        EXPECT_EQ(c.handler(board, c.in, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
        EXPECT_EQ(buffer[0], 0x42);
        EXPECT_EQ(board.commands(), (std::vector<std::uint8_t>{c.command, kClose}));
        EXPECT_EQ(board.writes(), c.keyed ? 4u : 2u);
    }
}

TEST(EndTest, SetsRegisterOneBeforeTheCommand) {
    FakeController board;
    EXPECT_EQ(BASE_END_TEST(board, 0, 0, nullptr), (Completion{nt::kSuccess, 0}));
    EXPECT_EQ(writesOf(board), (std::vector<Access>{{true, false, 1, 1}, {true, false, 0, 0xC2}, {true, false, 0, 0}}));
}

TEST(DefParam, WritesOnlyRegisterThreeAndReadsTheStatusAtOnce) {
    FakeController board;
    board.status = 0x8A;
    std::vector<std::uint8_t> buffer{7};
    EXPECT_EQ(BASE_DEF_PARAM(board, 1, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(buffer[0], 0x8A);
    EXPECT_EQ(writesOf(board), (std::vector<Access>{{true, false, 3, 7}, {true, false, 0, 0xDB}, {true, false, 0, 0}}));
}

TEST(IsEvt, IsOneReadOfUstate) {
    FakeController board;
    board.idleState = 0x48;
    std::vector<std::uint8_t> buffer(1);
    EXPECT_EQ(BASE_IS_EVT(board, 0, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
    EXPECT_EQ(buffer[0], 0x48);
    EXPECT_EQ(board.writes(), 0u);
}

struct MediumCase {
    std::uint8_t operation;
    std::vector<Access> accesses;  // before the status read
};
class MediumAccess : public ::testing::TestWithParam<MediumCase> {};
TEST_P(MediumAccess, ActsOnTheFieldualThenReadsTheMediumStatus) {
    FakeController board;
    std::vector<std::uint8_t> buffer{GetParam().operation};
    EXPECT_EQ(BASE_MEDIUM_ACCESS(board, 1, 1, buffer.data()), (Completion{nt::kSuccess, 1}));
    auto expected = GetParam().accesses;
    const std::uint8_t status = GetParam().operation == 7 ? 0xFF : 0x33;
    expected.push_back({false, true, 0, status});
    EXPECT_EQ(board.log, expected);
    EXPECT_EQ(buffer[0], status);
}
INSTANTIATE_TEST_SUITE_P(
    Operations, MediumAccess,
    ::testing::Values(MediumCase{0, {}}, MediumCase{1, {{false, true, 1, 0}}}, MediumCase{2, {{false, true, 2, 0}}},
                      MediumCase{3, {{false, true, 3, 0}}}, MediumCase{4, {{true, true, 1, 0xFF}}},
                      MediumCase{5, {{true, true, 2, 0xFF}}}, MediumCase{6, {{true, true, 3, 0xFF}}},
                      MediumCase{7, {{true, true, 0, 0xFF}}}));

TEST(MediumAccess, UnknownOperationTouchesNothing) {
    FakeController board;
    std::vector<std::uint8_t> buffer{8};
    EXPECT_EQ(BASE_MEDIUM_ACCESS(board, 1, 1, buffer.data()), (Completion{nt::kInvalidParameter, 0}));
    EXPECT_TRUE(board.log.empty());
}

}  // namespace
}  // namespace fullfip2
