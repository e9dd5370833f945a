// The command contract as one table: code, input size, output size and how the answer is checked.
// Every command function builds its input, runs one transaction through issue() and reads its
// answer; the length and status rules live in checkAnswer() alone.
#include "board_commands.h"

#include <algorithm>

namespace corvix::board {
namespace {

enum class Reply : std::uint8_t {
    None,        // no output
    Status,      // exactly one FDB_STATUS byte
    Byte,        // exactly one byte with no status meaning
    Fixed,       // exactly `out` bytes, no status
    ReadVar,     // status, size, size bytes (1..128); or a one-byte refusal
    ReadEvt,     // five bytes from a status byte; or a one-byte refusal
    ReceiveMsg,  // nine bytes from a status byte; or a one-byte refusal
    ReadMsg,     // a status byte and up to 251 message bytes
};

enum Command : std::uint8_t {
    kReadVar, kWriteVar, kDefParam, kStartBa, kStopBa, kDefEvt, kReceiveMsg, kReadMsg, kWriteMsg,
    kSendMsg, kPurge, kSendAper, kContinueBa, kChangeMacroBa, kMediumAccess, kReadEvt, kBaReport,
    kIsEvt, kGetPciSlot, kStartCircuit, kEndTest, kFipRazMem, kGetCardType, kReadPhy, kWritePhy,
    kReset, kGetSerialNumber, kGetCardConf, kGetPc104BaseAddress, kGetLedsState, kSetLedsState,
    kCommandCount
};

struct CommandSpec {
    Command command;
    std::uint32_t code;
    std::uint16_t in;
    std::uint16_t out;
    Reply reply;
};

constexpr CommandSpec kCommands[] = {
    {kReadVar, fdb::IOCTL_FDB_READ_VAR, 2, fdb::kReadVarOutput, Reply::ReadVar},
    {kWriteVar, fdb::IOCTL_FDB_WRITE_VAR, fdb::kWriteVarInput, 1, Reply::Status},
    {kDefParam, fdb::IOCTL_FDB_DEF_PARAM, 1, 1, Reply::Status},
    {kStartBa, fdb::IOCTL_FDB_START_BA, 2, 1, Reply::Status},
    {kStopBa, fdb::IOCTL_FDB_STOP_BA, 0, 1, Reply::Status},
    {kDefEvt, fdb::IOCTL_FDB_DEF_EVT, 4, 1, Reply::Status},
    {kReceiveMsg, fdb::IOCTL_FDB_RECEIVE_MSG, 2, fdb::kReceiveMsgOutput, Reply::ReceiveMsg},
    {kReadMsg, fdb::IOCTL_FDB_READ_MSG, 2, fdb::kReadMsgOutput, Reply::ReadMsg},
    {kWriteMsg, fdb::IOCTL_FDB_WRITE_MSG, fdb::kWriteMsgInput, 1, Reply::Status},
    {kSendMsg, fdb::IOCTL_FDB_SEND_MSG, fdb::kSendMsgInput, 1, Reply::Status},
    {kPurge, fdb::IOCTL_FDB_PURGE, 2, 1, Reply::Status},
    {kSendAper, fdb::IOCTL_FDB_SEND_APER, 4, 1, Reply::Status},
    {kContinueBa, fdb::IOCTL_FDB_CONTINUE_BA, 2, 1, Reply::Status},
    {kChangeMacroBa, fdb::IOCTL_FDB_CHANGE_MACRO_BA, 2, 1, Reply::Status},
    {kMediumAccess, fdb::IOCTL_FDB_MEDIUM_ACCESS, 1, 1, Reply::Byte},
    {kReadEvt, fdb::IOCTL_FDB_READ_EVT, 0, fdb::kReadEvtOutput, Reply::ReadEvt},
    {kBaReport, fdb::IOCTL_FDB_BA_REPORT, 0, 1, Reply::Byte},
    {kIsEvt, fdb::IOCTL_FDB_IS_EVT, 0, 1, Reply::Byte},
    {kGetPciSlot, fdb::IOCTL_GET_PCI_SLOT, 0, 4, Reply::Fixed},
    {kStartCircuit, fdb::IOCTL_FDB_START_CIRCUIT, 2, 0, Reply::None},
    {kEndTest, fdb::IOCTL_FDB_END_TEST, 0, 0, Reply::None},
    {kFipRazMem, fdb::IOCTL_FDB_FIP_RAZ_MEM, 0, 0, Reply::None},
    {kGetCardType, fdb::IOCTL_FDB_GET_CARD_TYPE, 0, 4, Reply::Fixed},
    {kReadPhy, fdb::IOCTL_READ_PHY, 2, fdb::kPageBytes, Reply::Fixed},
    {kWritePhy, fdb::IOCTL_WRITE_PHY, fdb::kWritePhyInput, 0, Reply::None},
    {kReset, fdb::IOCTL_FULLFIP2_RESET, 0, 0, Reply::None},
    {kGetSerialNumber, fdb::IOCTL_GET_SERIAL_NUMBER, 0, 4, Reply::Fixed},
    {kGetCardConf, fdb::IOCTL_GET_CARD_CONF, 0, 4, Reply::Fixed},
    {kGetPc104BaseAddress, fdb::IOCTL_GET_PC104_BASE_ADDRESS, 0, 4, Reply::Fixed},
    {kGetLedsState, fdb::IOCTL_GET_LEDS_STATE, 0, 1, Reply::Fixed},
    {kSetLedsState, fdb::IOCTL_SET_LEDS_STATE, 1, 0, Reply::None},
};
static_assert(std::size(kCommands) == kCommandCount);
constexpr bool tableInCommandOrder() {
    for (std::size_t i = 0; i < std::size(kCommands); ++i)
        if (kCommands[i].command != i) return false;
    return true;
}
static_assert(tableInCommandOrder());

// Largest answer of the table; every answer lands in a zeroed buffer of this size.
constexpr std::size_t kMaxOutput = fdb::kReadMsgOutput;

struct Answer {
    std::array<std::uint8_t, kMaxOutput> bytes{};
    std::uint32_t size = 0;
};

ErrorCode checkAnswer(const CommandSpec& entry, const Answer& answer) {
    const std::uint8_t status = answer.bytes[0];
    const bool oneByteRefusal = answer.size == 1 && isRefusal(status);
    switch (entry.reply) {
        case Reply::None:
            return kSuccess;
        case Reply::Status:
            return answer.size == 1 ? statusResult(status) : kErrReplyLength;
        case Reply::Byte:
            return answer.size == 1 ? kSuccess : kErrReplyLength;
        case Reply::Fixed:
            return answer.size == entry.out ? kSuccess : kErrReplyLength;
        case Reply::ReadVar: {
            if (oneByteRefusal) return cardError(status);
            const std::uint32_t size = answer.bytes[1];
            const bool valid = answer.size >= 3 && size >= 1 && size <= fdb::kVarDataBytes && answer.size == size + 2;
            return valid ? statusResult(status) : kErrReplyLength;
        }
        case Reply::ReadEvt:
        case Reply::ReceiveMsg:
            if (oneByteRefusal) return cardError(status);
            return answer.size == entry.out ? statusResult(status) : kErrReplyLength;
        case Reply::ReadMsg:
            // Without its status byte an answer says nothing; more than the buffer cannot be.
            return answer.size >= 1 && answer.size <= entry.out ? statusResult(status) : kErrReplyLength;
    }
    return kErrReplyLength;
}

// One transaction: the input's size is the table's, checked at compile time.
template <Command C, std::size_t N>
ErrorCode issue(BoardDevice& device, const std::array<std::uint8_t, N>& input, Answer& answer) {
    constexpr CommandSpec entry = kCommands[C];
    static_assert(N == entry.in, "input size differs from the command contract");
    static_assert(entry.out <= kMaxOutput);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device.handle(), entry.code, N ? const_cast<std::uint8_t*>(input.data()) : nullptr,
                                    N, entry.out ? answer.bytes.data() : nullptr, entry.out, &returned, nullptr);
    if (!ok) return mapPlatformError(GetLastError());
    answer.size = std::min<std::uint32_t>(returned, entry.out);
    return checkAnswer(entry, answer);
}

template <Command C>
ErrorCode issue(BoardDevice& device, Answer& answer) {
    return issue<C>(device, std::array<std::uint8_t, 0>{}, answer);
}

constexpr std::array<std::uint8_t, 2> le16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}

constexpr std::uint8_t hi(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
constexpr std::uint8_t lo(std::uint16_t value) { return static_cast<std::uint8_t>(value); }

template <Command C>
ErrorCode wordCommand(BoardDevice& device, std::uint16_t word) {
    Answer answer;
    return issue<C>(device, le16(word), answer);
}

template <Command C>
ErrorCode noInputCommand(BoardDevice& device) {
    Answer answer;
    return issue<C>(device, answer);
}

template <Command C>
ErrorCode u32Query(BoardDevice& device, std::uint32_t& value) {
    Answer answer;
    const ErrorCode code = issue<C>(device, answer);
    const auto& b = answer.bytes;  // the platform's u32, least significant byte first
    if (code == kSuccess) value = std::uint32_t{b[0]} | std::uint32_t{b[1]} << 8 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[3]} << 24;
    return code;
}

template <Command C>
ErrorCode byteQuery(BoardDevice& device, std::uint8_t& value) {
    Answer answer;
    const ErrorCode code = issue<C>(device, answer);
    if (code == kSuccess) value = answer.bytes[0];
    return code;
}

}  // namespace

std::array<std::uint8_t, fdb::kSendMsgInput> sendMsgInput(const SendRequest& r) {
    std::uint8_t controlByte = 0x25;
    std::uint8_t selector = 0x80;
    if (r.channel == 0) {
        controlByte = 0x21;
        selector = 0x90;
    } else if (r.channel <= 8) {
        selector = static_cast<std::uint8_t>(0x80 + 4 * (r.channel - 1));
    }
    return {lo(r.key),         hi(r.key),         r.acknowledged,        0x01,
            r.channelByte,     hi(r.destinationId), lo(r.destinationId), r.destinationSegment,
            hi(r.sourceId),    lo(r.sourceId),    r.sourceSegment,       controlByte,
            selector,          0};
}

std::uint16_t purgeWord(std::uint8_t channel) {
    if (channel == 0) return 0x2191;
    if (channel <= 8) return static_cast<std::uint16_t>(0x2581 + 4 * (channel - 1));
    return 0;
}

ErrorCode readVar(BoardDevice& device, std::uint16_t index, VarValue& value) {
    Answer answer;
    const ErrorCode code = issue<kReadVar>(device, le16(index), answer);
    if (code != kSuccess) return code;
    value.status = answer.bytes[0];
    value.size = answer.bytes[1];
    std::copy_n(answer.bytes.begin() + 2, value.size, value.data.begin());
    return kSuccess;
}

ErrorCode writeVar(BoardDevice& device, std::uint16_t index, std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, fdb::kWriteVarInput> input{lo(index), hi(index)};
    std::copy_n(data.begin(), std::min<std::size_t>(data.size(), fdb::kVarDataBytes), input.begin() + 2);
    Answer answer;
    return issue<kWriteVar>(device, input, answer);
}

ErrorCode defParam(BoardDevice& device, std::uint8_t parameter) {
    Answer answer;
    return issue<kDefParam>(device, std::array<std::uint8_t, 1>{parameter}, answer);
}

ErrorCode receiveMsg(BoardDevice& device, std::uint16_t key, MessageHeader& header) {
    Answer answer;
    const ErrorCode code = issue<kReceiveMsg>(device, le16(key), answer);
    if (code != kSuccess && !isCardError(code)) return code;
    const auto& b = answer.bytes;
    header.status = b[0];
    header.length = b[2];
    header.destinationId = static_cast<std::uint16_t>(b[3] << 8 | b[4]);
    header.destinationSegment = b[5];
    header.sourceId = static_cast<std::uint16_t>(b[6] << 8 | b[7]);
    header.sourceSegment = b[8];
    return code;
}

ErrorCode readMsg(BoardDevice& device, std::uint16_t key, MessageBody& body) {
    Answer answer;
    const ErrorCode code = issue<kReadMsg>(device, le16(key), answer);
    if (code != kSuccess) return code;
    body.status = answer.bytes[0];
    body.size = answer.size - 1;
    std::copy_n(answer.bytes.begin() + 1, body.size, body.data.begin());
    return kSuccess;
}

ErrorCode writeMsg(BoardDevice& device, std::uint16_t key, std::span<const std::uint8_t> data) {
    if (data.size() > fdb::kMsgDataBytes) return kErrMessageTooLong;
    const auto length = static_cast<std::uint16_t>(data.size());
    std::array<std::uint8_t, fdb::kWriteMsgInput> input{lo(key), hi(key), lo(length), hi(length)};
    std::copy(data.begin(), data.end(), input.begin() + 4);
    Answer answer;
    return issue<kWriteMsg>(device, input, answer);
}

ErrorCode sendMsg(BoardDevice& device, const SendRequest& request) {
    Answer answer;
    return issue<kSendMsg>(device, sendMsgInput(request), answer);
}

ErrorCode purge(BoardDevice& device, std::uint16_t word) { return wordCommand<kPurge>(device, word); }

ErrorCode sendAper(BoardDevice& device, std::uint16_t index, std::uint8_t kind) {
    Answer answer;
    return issue<kSendAper>(device, std::array<std::uint8_t, 4>{lo(index), hi(index), kind, 0}, answer);
}

ErrorCode defEvt(BoardDevice& device, std::uint8_t parameter, std::uint8_t flags, std::uint16_t index) {
    Answer answer;
    return issue<kDefEvt>(device, std::array<std::uint8_t, 4>{parameter, flags, lo(index), hi(index)}, answer);
}

ErrorCode readEvt(BoardDevice& device, EventRecord& record) {
    Answer answer;
    const ErrorCode code = issue<kReadEvt>(device, answer);
    if (code != kSuccess && !isCardError(code)) return code;
    const auto& b = answer.bytes;
    record.status = b[0];
    record.event = b[1];
    record.parameter = b[2];
    record.identifier = static_cast<std::uint16_t>(b[3] << 8 | b[4]);
    return code;
}

ErrorCode isEvt(BoardDevice& device, std::uint8_t& state) { return byteQuery<kIsEvt>(device, state); }

ErrorCode startBa(BoardDevice& device, std::uint16_t page) { return wordCommand<kStartBa>(device, page); }
ErrorCode stopBa(BoardDevice& device) { return noInputCommand<kStopBa>(device); }
ErrorCode continueBa(BoardDevice& device, std::uint16_t word) { return wordCommand<kContinueBa>(device, word); }
ErrorCode changeMacroBa(BoardDevice& device, std::uint16_t word) { return wordCommand<kChangeMacroBa>(device, word); }
ErrorCode baReport(BoardDevice& device, std::uint8_t& report) { return byteQuery<kBaReport>(device, report); }

ErrorCode mediumAccess(BoardDevice& device, std::uint8_t operation, std::uint8_t& registerByte) {
    Answer answer;
    const ErrorCode code = issue<kMediumAccess>(device, std::array<std::uint8_t, 1>{operation}, answer);
    if (code == kSuccess) registerByte = answer.bytes[0];
    return code;
}

ErrorCode startCircuit(BoardDevice& device) { return wordCommand<kStartCircuit>(device, 0x0600); }
ErrorCode endTest(BoardDevice& device) { return noInputCommand<kEndTest>(device); }
ErrorCode clearCardMemory(BoardDevice& device) { return noInputCommand<kFipRazMem>(device); }
ErrorCode reset(BoardDevice& device) { return noInputCommand<kReset>(device); }

ErrorCode readPage(BoardDevice& device, std::uint16_t page, Page bytes) {
    Answer answer;
    const ErrorCode code = issue<kReadPhy>(device, le16(page), answer);
    if (code == kSuccess) std::copy_n(answer.bytes.begin(), bytes.size(), bytes.begin());
    return code;
}

ErrorCode writePage(BoardDevice& device, std::uint16_t page, ConstPage bytes) {
    std::array<std::uint8_t, fdb::kWritePhyInput> input{lo(page), hi(page)};
    std::copy(bytes.begin(), bytes.end(), input.begin() + 2);
    Answer answer;
    return issue<kWritePhy>(device, input, answer);
}

ErrorCode getCardType(BoardDevice& device, std::uint32_t& type) { return u32Query<kGetCardType>(device, type); }
ErrorCode getCardConf(BoardDevice& device, std::uint32_t& word) { return u32Query<kGetCardConf>(device, word); }
ErrorCode getSerialNumber(BoardDevice& device, std::uint32_t& serial) {
    return u32Query<kGetSerialNumber>(device, serial);
}
ErrorCode getPciSlot(BoardDevice& device, std::uint32_t& slot) { return u32Query<kGetPciSlot>(device, slot); }
ErrorCode getPc104BaseAddress(BoardDevice& device, std::uint32_t& address) {
    return u32Query<kGetPc104BaseAddress>(device, address);
}
ErrorCode getLedsState(BoardDevice& device, std::uint8_t& mask) { return byteQuery<kGetLedsState>(device, mask); }
ErrorCode setLedsState(BoardDevice& device, std::uint8_t mask) {
    Answer answer;
    return issue<kSetLedsState>(device, std::array<std::uint8_t, 1>{mask}, answer);
}

}  // namespace corvix::board
