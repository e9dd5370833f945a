// The command layer against a scripted board: the bytes of every request and the result mapping.
#include "board_commands.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "board_access.h"
#include "scripted_board.h"

namespace corvix::board {
namespace {

using corvix::testing::Request;
using corvix::testing::ScriptedBoard;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using Bytes = std::vector<std::uint8_t>;

class BoardCommands : public ::testing::Test {
protected:
    ScriptedBoard board;
    BoardDevicePtr device = openBoard(kBoardPci, 1);

    const Request& only() {
        EXPECT_EQ(board.requests().size(), 1u);
        return board.requests().back();
    }
};

struct CommandCase {
    const char* name;
    std::function<ErrorCode(BoardDevice&)> run;
    std::uint32_t code;
    Bytes input;
    std::uint32_t outputLength;
};

class CommandBytes : public BoardCommands, public ::testing::WithParamInterface<CommandCase> {};

TEST_P(CommandBytes, SendsTheContractsCodeAndInput) {
    const CommandCase& c = GetParam();
    ASSERT_TRUE(device);
    c.run(*device);
    const Request& r = only();
    EXPECT_EQ(r.code, c.code);
    EXPECT_EQ(r.input, c.input);
    EXPECT_EQ(r.outputLength, c.outputLength);
}

Bytes page(std::uint16_t number, std::uint8_t fill) {
    Bytes bytes{static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8)};
    bytes.resize(fdb::kWritePhyInput, fill);
    return bytes;
}

Bytes writeVarInput() {
    Bytes bytes(fdb::kWriteVarInput, 0);
    bytes[0] = 0x34;
    bytes[1] = 0x12;
    bytes[2] = 0xAA;
    bytes[3] = 0xBB;
    return bytes;
}

Bytes writeMsgInput() {
    Bytes bytes(fdb::kWriteMsgInput, 0);
    bytes[0] = 0x40;  // key 0x0140
    bytes[1] = 0x01;
    bytes[2] = 3;  // length
    bytes[4] = 1;
    bytes[5] = 2;
    bytes[6] = 3;
    return bytes;
}

const std::array<std::uint8_t, 128> kFullPage = [] {
    std::array<std::uint8_t, 128> p{};
    p.fill(0x5A);
    return p;
}();
const Bytes kVarData{0xAA, 0xBB};
const Bytes kMsgData{1, 2, 3};

const CommandCase kCommandCases[] = {
    {"ReadVar", [](BoardDevice& d) { VarValue v; return readVar(d, 0x1234, v); }, fdb::IOCTL_FDB_READ_VAR, {0x34, 0x12}, 133},
    {"WriteVar", [](BoardDevice& d) { return writeVar(d, 0x1234, kVarData); }, fdb::IOCTL_FDB_WRITE_VAR, writeVarInput(), 1},
    {"DefParam", [](BoardDevice& d) { return defParam(d, 7); }, fdb::IOCTL_FDB_DEF_PARAM, {7}, 1},
    {"StartBa", [](BoardDevice& d) { return startBa(d, 0x0400); }, fdb::IOCTL_FDB_START_BA, {0x00, 0x04}, 1},
    {"StopBa", [](BoardDevice& d) { return stopBa(d); }, fdb::IOCTL_FDB_STOP_BA, {}, 1},
    {"DefEvt", [](BoardDevice& d) { return defEvt(d, 9, 0x82, 0x0102); }, fdb::IOCTL_FDB_DEF_EVT, {9, 0x82, 0x02, 0x01}, 1},
    {"ReceiveMsg", [](BoardDevice& d) { MessageHeader h; return receiveMsg(d, 0x0203, h); }, fdb::IOCTL_FDB_RECEIVE_MSG, {0x03, 0x02}, 9},
    {"ReadMsg", [](BoardDevice& d) { MessageBody b; return readMsg(d, 0x0203, b); }, fdb::IOCTL_FDB_READ_MSG, {0x03, 0x02}, 252},
    {"WriteMsg", [](BoardDevice& d) { return writeMsg(d, 0x0140, kMsgData); }, fdb::IOCTL_FDB_WRITE_MSG, writeMsgInput(), 1},
    {"Purge", [](BoardDevice& d) { return purge(d, purgeWord(2)); }, fdb::IOCTL_FDB_PURGE, {0x85, 0x25}, 1},
    {"SendAperKind", [](BoardDevice& d) { return sendAper(d, 0x0105, 1); }, fdb::IOCTL_FDB_SEND_APER, {0x05, 0x01, 1, 0}, 1},
    {"ContinueBa", [](BoardDevice& d) { return continueBa(d, 0x1231); }, fdb::IOCTL_FDB_CONTINUE_BA, {0x31, 0x12}, 1},
    {"ChangeMacroBa", [](BoardDevice& d) { return changeMacroBa(d, 0x1230); }, fdb::IOCTL_FDB_CHANGE_MACRO_BA, {0x30, 0x12}, 1},
    {"MediumAccess", [](BoardDevice& d) { std::uint8_t b; return mediumAccess(d, 6, b); }, fdb::IOCTL_FDB_MEDIUM_ACCESS, {6}, 1},
    {"ReadEvt", [](BoardDevice& d) { EventRecord e; return readEvt(d, e); }, fdb::IOCTL_FDB_READ_EVT, {}, 5},
    {"BaReport", [](BoardDevice& d) { std::uint8_t b; return baReport(d, b); }, fdb::IOCTL_FDB_BA_REPORT, {}, 1},
    {"IsEvt", [](BoardDevice& d) { std::uint8_t b; return isEvt(d, b); }, fdb::IOCTL_FDB_IS_EVT, {}, 1},
    {"GetPciSlot", [](BoardDevice& d) { std::uint32_t v; return getPciSlot(d, v); }, fdb::IOCTL_GET_PCI_SLOT, {}, 4},
    {"StartCircuit", [](BoardDevice& d) { return startCircuit(d); }, fdb::IOCTL_FDB_START_CIRCUIT, {0x00, 0x06}, 0},
    {"EndTest", [](BoardDevice& d) { return endTest(d); }, fdb::IOCTL_FDB_END_TEST, {}, 0},
    {"ClearCardMemory", [](BoardDevice& d) { return clearCardMemory(d); }, fdb::IOCTL_FDB_FIP_RAZ_MEM, {}, 0},
    {"GetCardType", [](BoardDevice& d) { std::uint32_t v; return getCardType(d, v); }, fdb::IOCTL_FDB_GET_CARD_TYPE, {}, 4},
    {"ReadPage", [](BoardDevice& d) { std::array<std::uint8_t, 128> p; return readPage(d, 0x0081, p); }, fdb::IOCTL_READ_PHY, {0x81, 0x00}, 128},
    {"WritePage", [](BoardDevice& d) { return writePage(d, 0x0102, kFullPage); }, fdb::IOCTL_WRITE_PHY, page(0x0102, 0x5A), 0},
    {"Reset", [](BoardDevice& d) { return reset(d); }, fdb::IOCTL_FULLFIP2_RESET, {}, 0},
    {"GetSerialNumber", [](BoardDevice& d) { std::uint32_t v; return getSerialNumber(d, v); }, fdb::IOCTL_GET_SERIAL_NUMBER, {}, 4},
    {"GetCardConf", [](BoardDevice& d) { std::uint32_t v; return getCardConf(d, v); }, fdb::IOCTL_GET_CARD_CONF, {}, 4},
    {"GetPc104BaseAddress", [](BoardDevice& d) { std::uint32_t v; return getPc104BaseAddress(d, v); }, fdb::IOCTL_GET_PC104_BASE_ADDRESS, {}, 4},
    {"GetLedsState", [](BoardDevice& d) { std::uint8_t v; return getLedsState(d, v); }, fdb::IOCTL_GET_LEDS_STATE, {}, 1},
    {"SetLedsState", [](BoardDevice& d) { return setLedsState(d, 0x81); }, fdb::IOCTL_SET_LEDS_STATE, {0x81}, 0},
};

INSTANTIATE_TEST_SUITE_P(EveryCommand, CommandBytes, ::testing::ValuesIn(kCommandCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(SendMsgInput, ControlByteAndSelectorFollowTheChannel) {
    SendRequest request{.key = 0x0203, .acknowledged = 1, .channelByte = 0x77, .channel = 0,
                        .destinationId = 0x1122, .destinationSegment = 0x33, .sourceId = 0x4455, .sourceSegment = 0x66};
    EXPECT_THAT(sendMsgInput(request),
                ElementsAre(0x03, 0x02, 1, 0x01, 0x77, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x21, 0x90, 0));
    const std::pair<std::uint16_t, std::pair<std::uint8_t, std::uint8_t>> channels[] = {
        {1, {0x25, 0x80}}, {5, {0x25, 0x90}}, {8, {0x25, 0x9C}}, {9, {0x25, 0x80}}, {300, {0x25, 0x80}}};
    for (const auto& [channel, bytes] : channels) {
        request.channel = channel;
        const auto input = sendMsgInput(request);
        EXPECT_EQ(input[11], bytes.first) << channel;
        EXPECT_EQ(input[12], bytes.second) << channel;
    }
}

TEST(PurgeWord, ChannelZeroOneToEightAndBeyond) {
    EXPECT_EQ(purgeWord(0), 0x2191);
    EXPECT_EQ(purgeWord(1), 0x2581);
    EXPECT_EQ(purgeWord(8), 0x259D);
    EXPECT_EQ(purgeWord(9), 0);
}

struct StatusCase {
    std::uint8_t status;
    ErrorCode expected;
};
class StatusMapping : public BoardCommands, public ::testing::WithParamInterface<StatusCase> {};

TEST_P(StatusMapping, BitSevenIsACardErrorOfTheLowNibble) {
    board.answer(fdb::IOCTL_FDB_DEF_PARAM, Bytes{GetParam().status});
    EXPECT_EQ(defParam(*device, 7), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Statuses, StatusMapping,
                         ::testing::Values(StatusCase{0x00, 0}, StatusCase{0x7F, 0}, StatusCase{0x85, 0x60000005},
                                           StatusCase{0x80, 0x60000000}, StatusCase{0xFF, 0x6000000F},
                                           StatusCase{0xA3, 0x60000003}));

// The request seam bounds an answer by the reserved output, so a longer answer cannot arrive; an
// answer without its byte is the length error.
TEST_F(BoardCommands, OneByteCommandsRequireTheirByte) {
    board.answer(fdb::IOCTL_FDB_PURGE, Bytes{});
    EXPECT_EQ(purge(*device, 0x2191), kErrReplyLength);
    board.answer(fdb::IOCTL_FDB_BA_REPORT, Bytes{});
    std::uint8_t report = 0x55;
    EXPECT_EQ(baReport(*device, report), kErrReplyLength);
    EXPECT_EQ(report, 0x55);
    board.answer(fdb::IOCTL_FDB_MEDIUM_ACCESS, Bytes{});
    EXPECT_EQ(mediumAccess(*device, 0, report), kErrReplyLength);
}

TEST_F(BoardCommands, FailedCallsGiveThePlatformErrorWithTheTimeOutAsItsOwnCode) {
    board.fail(fdb::IOCTL_FDB_STOP_BA, corvix::testing::kStatusIoTimeout);
    EXPECT_EQ(stopBa(*device), kErrDeviceTimeout);
    board.fail(fdb::IOCTL_FDB_STOP_BA, corvix::testing::kStatusInvalidDeviceRequest);
    EXPECT_EQ(stopBa(*device), 1u);  // ERROR_INVALID_FUNCTION
}

TEST_F(BoardCommands, AClosedDeviceFailsWithoutReachingTheBoard) {
    device->close();
    EXPECT_EQ(reset(*device), static_cast<ErrorCode>(ERROR_INVALID_HANDLE));
    EXPECT_TRUE(board.requests().empty());
}

struct ReadVarCase {
    const char* name;
    Bytes answer;
    ErrorCode expected;
};
class ReadVarReplies : public BoardCommands, public ::testing::WithParamInterface<ReadVarCase> {};

TEST_P(ReadVarReplies, LengthMustBeSizePlusTwo) {
    board.answer(fdb::IOCTL_FDB_READ_VAR, GetParam().answer);
    VarValue value;
    value.data.fill(0xEE);
    EXPECT_EQ(readVar(*device, 1, value), GetParam().expected);
    if (GetParam().expected == kSuccess) {
        EXPECT_EQ(value.size, GetParam().answer[1]);
        EXPECT_TRUE(std::equal(value.data.begin(), value.data.begin() + value.size, GetParam().answer.begin() + 2));
    } else {
        EXPECT_EQ(value.data[0], 0xEE);  // a failure writes nothing
    }
}

Bytes varAnswer(std::uint8_t status, std::uint8_t size, std::size_t total) {
    Bytes bytes(total, 0x42);
    bytes[0] = status;
    if (total > 1) bytes[1] = size;
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ReadVarReplies,
    ::testing::Values(ReadVarCase{"TwoBytes", varAnswer(0x20, 2, 4), 0},
                      ReadVarCase{"FullSize", varAnswer(0, 128, 130), 0},
                      ReadVarCase{"RefusedInOneByte", Bytes{0x86}, 0x60000006},
                      ReadVarCase{"OneByteNotRefused", Bytes{0x06}, kErrReplyLength},
                      ReadVarCase{"SizeZero", varAnswer(0, 0, 2), kErrReplyLength},
                      ReadVarCase{"SizeAbove128", varAnswer(0, 129, 131), kErrReplyLength},
                      ReadVarCase{"ShortOfSize", varAnswer(0, 4, 5), kErrReplyLength},
                      ReadVarCase{"LongerThanSize", varAnswer(0, 2, 5), kErrReplyLength},
                      ReadVarCase{"RefusedWithData", varAnswer(0x81, 2, 4), 0x60000001}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(BoardCommands, ReceiveMsgDecodesTheHeaderHighByteFirst) {
    board.answer(fdb::IOCTL_FDB_RECEIVE_MSG, Bytes{0, 0xEE, 12, 0x12, 0x34, 5, 0x56, 0x78, 9});
    MessageHeader header;
    ASSERT_EQ(receiveMsg(*device, 7, header), kSuccess);
    EXPECT_EQ(header.length, 12);
    EXPECT_EQ(header.destinationId, 0x1234);
    EXPECT_EQ(header.destinationSegment, 5);
    EXPECT_EQ(header.sourceId, 0x5678);
    EXPECT_EQ(header.sourceSegment, 9);
}

TEST_F(BoardCommands, ReceiveMsgRefusedInOneByteIsThatCardErrorWithAZeroHeader) {
    board.answer(fdb::IOCTL_FDB_RECEIVE_MSG, Bytes{0x84});
    MessageHeader header;
    header.length = 99;
    EXPECT_EQ(receiveMsg(*device, 7, header), 0x60000004u);
    EXPECT_EQ(header.length, 0);
    EXPECT_EQ(header.sourceId, 0);
    board.answer(fdb::IOCTL_FDB_RECEIVE_MSG, Bytes{0, 0, 1});
    EXPECT_EQ(receiveMsg(*device, 7, header), kErrReplyLength);
}

TEST_F(BoardCommands, ReadEvtNeedsFiveBytesOrAOneByteRefusal) {
    EventRecord record;
    board.answer(fdb::IOCTL_FDB_READ_EVT, Bytes{0, 0x9D, 4, 0x01, 0x02});
    ASSERT_EQ(readEvt(*device, record), kSuccess);
    EXPECT_EQ(record.event, 0x9D);
    EXPECT_EQ(record.parameter, 4);
    EXPECT_EQ(record.identifier, 0x0102);
    board.answer(fdb::IOCTL_FDB_READ_EVT, Bytes{0x83});
    EXPECT_EQ(readEvt(*device, record), 0x60000003u);
    board.answer(fdb::IOCTL_FDB_READ_EVT, Bytes{0x03});
    EXPECT_EQ(readEvt(*device, record), kErrReplyLength);
    board.answer(fdb::IOCTL_FDB_READ_EVT, Bytes{0, 1, 2});
    EXPECT_EQ(readEvt(*device, record), kErrReplyLength);
}

TEST_F(BoardCommands, ReadMsgTakesUpTo251MessageBytesAfterItsStatus) {
    MessageBody body;
    Bytes answer(252, 0x11);
    answer[0] = 0;
    board.answer(fdb::IOCTL_FDB_READ_MSG, answer);
    ASSERT_EQ(readMsg(*device, 1, body), kSuccess);
    EXPECT_EQ(body.size, 251u);
    board.answer(fdb::IOCTL_FDB_READ_MSG, Bytes{});
    EXPECT_EQ(readMsg(*device, 1, body), kErrReplyLength);
    board.answer(fdb::IOCTL_FDB_READ_MSG, Bytes{0x82, 1, 2});
    EXPECT_EQ(readMsg(*device, 1, body), 0x60000002u);
}

TEST_F(BoardCommands, WriteMsgRefusesMoreThan252BytesWithoutSending) {
    const Bytes longest(252, 1), tooLong(253, 1);
    EXPECT_EQ(writeMsg(*device, 1, longest), kSuccess);
    EXPECT_EQ(writeMsg(*device, 1, tooLong), kErrMessageTooLong);
    EXPECT_EQ(board.requests().size(), 1u);
}

TEST_F(BoardCommands, QueriesReadTheirWordLeastSignificantByteFirstAndNeedFourBytes) {
    board.answer(fdb::IOCTL_GET_SERIAL_NUMBER, Bytes{0x78, 0x56, 0x34, 0x12});
    std::uint32_t serial = 0;
    ASSERT_EQ(getSerialNumber(*device, serial), kSuccess);
    EXPECT_EQ(serial, 0x12345678u);
    board.answer(fdb::IOCTL_GET_SERIAL_NUMBER, Bytes{1, 2});
    serial = 7;
    EXPECT_EQ(getSerialNumber(*device, serial), kErrReplyLength);
    EXPECT_EQ(serial, 7u);
    board.answer(fdb::IOCTL_READ_PHY, Bytes(127, 0));
    std::array<std::uint8_t, 128> page{};
    EXPECT_EQ(readPage(*device, 3, page), kErrReplyLength);
}

}  // namespace
}  // namespace corvix::board
