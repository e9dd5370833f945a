// The command contract as one table: code, input size, output size and how the answer is checked,
// with the command's USB form: the exec-by-id command byte and where the driver's answer lies in
// the reply data. Every command function builds its input in both forms, runs one transaction
// through issue() and reads its answer; on a USB board the reply is first laid out as the driver's
// answer would be, so that the length and status rules live in checkAnswer() alone.
#include "board_commands.h"

#include <algorithm>

#include "usb/dav_azuv.h"

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

// Where the USB reply data holds the driver's answer.
enum class Usb : std::uint8_t {
    None,      // no USB form: the command is refused without touching the board
    Ignored,   // exec by id; the reply data carries nothing the engine reads
    FromByte1, // exec by id; the answer starts at reply data byte 1 (byte 0 is not interpreted)
    FromByte2, // exec by id; the answer (page bytes) starts at reply data byte 2
    Byte0,     // exec by id; the answer is reply data byte 0 (the controller state)
    ReadVar,   // exec by id; byte 1 the status, the value from byte 2
    ReadById,  // read by id, P2 the identifier; the first four data bytes
    Reset,     // the reset request
};

struct CommandSpec {
    Command command;
    std::uint32_t code;
    std::uint16_t in;
    std::uint16_t out;
    Reply reply;
    std::uint8_t p2;  // USB: the exec-by-id command byte, or the read-by-id identifier
    Usb usb;
};

constexpr CommandSpec kCommands[] = {
    {kReadVar, fdb::IOCTL_FDB_READ_VAR, 2, fdb::kReadVarOutput, Reply::ReadVar, 0x41, Usb::ReadVar},
    {kWriteVar, fdb::IOCTL_FDB_WRITE_VAR, fdb::kWriteVarInput, 1, Reply::Status, 0xC5, Usb::FromByte1},
    {kDefParam, fdb::IOCTL_FDB_DEF_PARAM, 1, 1, Reply::Status, 0xDB, Usb::FromByte1},
    {kStartBa, fdb::IOCTL_FDB_START_BA, 2, 1, Reply::Status, 0x87, Usb::FromByte1},
    {kStopBa, fdb::IOCTL_FDB_STOP_BA, 0, 1, Reply::Status, 0x97, Usb::FromByte1},
    {kDefEvt, fdb::IOCTL_FDB_DEF_EVT, 4, 1, Reply::Status, 0xC6, Usb::FromByte1},
    {kReceiveMsg, fdb::IOCTL_FDB_RECEIVE_MSG, 2, fdb::kReceiveMsgOutput, Reply::ReceiveMsg, 0x4D, Usb::FromByte1},
    {kReadMsg, fdb::IOCTL_FDB_READ_MSG, 2, fdb::kReadMsgOutput, Reply::ReadMsg, 0x42, Usb::FromByte1},
    {kWriteMsg, fdb::IOCTL_FDB_WRITE_MSG, fdb::kWriteMsgInput, 1, Reply::Status, 0xC2, Usb::FromByte1},
    {kSendMsg, fdb::IOCTL_FDB_SEND_MSG, fdb::kSendMsgInput, 1, Reply::Status, 0x89, Usb::FromByte1},
    {kPurge, fdb::IOCTL_FDB_PURGE, 2, 1, Reply::Status, 0x5E, Usb::FromByte1},
    {kSendAper, fdb::IOCTL_FDB_SEND_APER, 4, 1, Reply::Status, 0x88, Usb::FromByte1},
    {kContinueBa, fdb::IOCTL_FDB_CONTINUE_BA, 2, 1, Reply::Status, 0xA7, Usb::FromByte1},
    {kChangeMacroBa, fdb::IOCTL_FDB_CHANGE_MACRO_BA, 2, 1, Reply::Status, 0xE7, Usb::FromByte1},
    {kMediumAccess, fdb::IOCTL_FDB_MEDIUM_ACCESS, 1, 1, Reply::Byte, 0x50, Usb::FromByte1},
    {kReadEvt, fdb::IOCTL_FDB_READ_EVT, 0, fdb::kReadEvtOutput, Reply::ReadEvt, 0x43, Usb::FromByte1},
    {kBaReport, fdb::IOCTL_FDB_BA_REPORT, 0, 1, Reply::Byte, 0xB7, Usb::FromByte1},
    {kIsEvt, fdb::IOCTL_FDB_IS_EVT, 0, 1, Reply::Byte, 0xCB, Usb::Byte0},
    {kGetPciSlot, fdb::IOCTL_GET_PCI_SLOT, 0, 4, Reply::Fixed, 0, Usb::None},
    {kStartCircuit, fdb::IOCTL_FDB_START_CIRCUIT, 2, 0, Reply::None, 0xFF, Usb::Ignored},
    {kEndTest, fdb::IOCTL_FDB_END_TEST, 0, 0, Reply::None, 0xCA, Usb::Ignored},
    {kFipRazMem, fdb::IOCTL_FDB_FIP_RAZ_MEM, 0, 0, Reply::None, 0xCC, Usb::Ignored},
    {kGetCardType, fdb::IOCTL_FDB_GET_CARD_TYPE, 0, 4, Reply::Fixed, 0, Usb::None},
    {kReadPhy, fdb::IOCTL_READ_PHY, 2, fdb::kPageBytes, Reply::Fixed, 0x40, Usb::FromByte2},
    {kWritePhy, fdb::IOCTL_WRITE_PHY, fdb::kWritePhyInput, 0, Reply::None, 0xC4, Usb::Ignored},
    {kReset, fdb::IOCTL_FULLFIP2_RESET, 0, 0, Reply::None, 0, Usb::Reset},
    {kGetSerialNumber, fdb::IOCTL_GET_SERIAL_NUMBER, 0, 4, Reply::Fixed, 4, Usb::ReadById},
    {kGetCardConf, fdb::IOCTL_GET_CARD_CONF, 0, 4, Reply::Fixed, 5, Usb::ReadById},
    {kGetPc104BaseAddress, fdb::IOCTL_GET_PC104_BASE_ADDRESS, 0, 4, Reply::Fixed, 0, Usb::None},
    {kGetLedsState, fdb::IOCTL_GET_LEDS_STATE, 0, 1, Reply::Fixed, 0, Usb::None},
    {kSetLedsState, fdb::IOCTL_SET_LEDS_STATE, 1, 0, Reply::None, 0, Usb::None},
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

// A USB board's reply data lands in a buffer of this size; a longer reply is cut and reported.
constexpr std::size_t kUsbReplyBytes = 256;

// The driver's answer; `size` may exceed the buffer for a USB reply, which checkAnswer refuses.
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

// The USB request of a command; its own code when it fails (no reply, a status word, a closed
// transport), else the reply laid out as the driver's answer and checked as that.
ErrorCode issueUsb(const CommandSpec& entry, CDavAzuv& board, std::uint8_t p2, std::span<const std::uint8_t> data,
                   Answer& answer) {
    std::array<std::uint8_t, kUsbReplyBytes> reply{};
    std::uint16_t length = 0;
    std::int32_t result = 0;
    switch (entry.usb) {
        case Usb::None: return ERROR_NOT_SUPPORTED;
        case Usb::Reset: result = board.reset(1, 1); break;
        case Usb::ReadById: result = board.read_by_id(1, entry.p2, 0, length, reply); break;
        default: result = board.exec_by_id(1, p2, data, length, reply); break;
    }
    // The controller state is read whatever the status word says.
    if (result != 0 && !(entry.usb == Usb::Byte0 && isStatusWordError(static_cast<ErrorCode>(result))))
        return static_cast<ErrorCode>(result);
    const auto from = [&](std::size_t offset, std::size_t at = 0) {
        const std::size_t n = length > offset ? length - offset : 0;
        std::copy_n(reply.begin() + offset, std::min(n, answer.bytes.size() - at), answer.bytes.begin() + at);
        answer.size = static_cast<std::uint32_t>(n + at);
    };
    switch (entry.usb) {
        case Usb::FromByte1: from(1); break;
        case Usb::FromByte2: from(2); break;
        case Usb::Byte0: from(0); answer.size = std::min<std::uint32_t>(answer.size, 1); break;
        case Usb::ReadById: from(0); answer.size = std::min<std::uint32_t>(answer.size, entry.out); break;
        case Usb::ReadVar:
            // Status and value, as the driver gives them: status, size, value. A reply of the status
            // alone is the driver's one-byte answer (a refusal, or a length fault).
            if (length <= 2) {
                from(1);
            } else if (length - 2u <= fdb::kVarDataBytes) {
                from(2, 2);
                answer.bytes[0] = reply[1];
                answer.bytes[1] = static_cast<std::uint8_t>(length - 2);
            }
            break;
        default: return kSuccess;
    }
    return checkAnswer(entry, answer);
}

// One transaction: the input's size is the table's, checked at compile time. `usbData` is the
// input of the USB form; `usbP2` replaces the table's command byte where the input selects it.
template <Command C, std::size_t N>
ErrorCode issue(BoardDevice& device, const std::array<std::uint8_t, N>& input, Answer& answer,
                std::span<const std::uint8_t> usbData = {}, std::uint8_t usbP2 = 0) {
    constexpr CommandSpec entry = kCommands[C];
    static_assert(N == entry.in, "input size differs from the command contract");
    static_assert(entry.out <= kMaxOutput);
    if (device.isUsb()) return issueUsb(entry, *device.usb(), usbP2 ? usbP2 : entry.p2, usbData, answer);
    DWORD returned = 0;
    const BOOL ok = DeviceIoControl(device.handle(), entry.code, N ? const_cast<std::uint8_t*>(input.data()) : nullptr,
                                    N, entry.out ? answer.bytes.data() : nullptr, entry.out, &returned, nullptr);
    if (!ok) return mapPlatformError(GetLastError());
    answer.size = std::min<std::uint32_t>(returned, entry.out);
    return checkAnswer(entry, answer);
}

// Commands without input send two zero bytes in their USB form.
constexpr std::array<std::uint8_t, 2> kUsbNoInput{0, 0};

template <Command C>
ErrorCode issue(BoardDevice& device, Answer& answer) {
    return issue<C>(device, std::array<std::uint8_t, 0>{}, answer, kUsbNoInput);
}

constexpr std::array<std::uint8_t, 2> le16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8)};
}
constexpr std::array<std::uint8_t, 2> be16(std::uint16_t value) {
    return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

constexpr std::uint8_t hi(std::uint16_t value) { return static_cast<std::uint8_t>(value >> 8); }
constexpr std::uint8_t lo(std::uint16_t value) { return static_cast<std::uint8_t>(value); }

template <Command C>
ErrorCode wordCommand(BoardDevice& device, std::uint16_t word) {
    Answer answer;
    return issue<C>(device, le16(word), answer, be16(word));
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
    const ErrorCode code = issue<kReadVar>(device, le16(index), answer, be16(index));
    if (code != kSuccess) return code;
    value.status = answer.bytes[0];
    value.size = answer.bytes[1];
    std::copy_n(answer.bytes.begin() + 2, value.size, value.data.begin());
    return kSuccess;
}

ErrorCode writeVar(BoardDevice& device, std::uint16_t index, std::span<const std::uint8_t> data) {
    std::array<std::uint8_t, fdb::kWriteVarInput> input{lo(index), hi(index)};
    const std::size_t length = std::min<std::size_t>(data.size(), fdb::kVarDataBytes);
    std::copy_n(data.begin(), length, input.begin() + 2);
    // USB: the index, then the variable's own bytes.
    std::array<std::uint8_t, fdb::kWriteVarInput> usb{hi(index), lo(index)};
    std::copy_n(data.begin(), length, usb.begin() + 2);
    Answer answer;
    return issue<kWriteVar>(device, input, answer, std::span(usb).first(length + 2));
}

ErrorCode defParam(BoardDevice& device, std::uint8_t parameter) {
    Answer answer;
    return issue<kDefParam>(device, std::array<std::uint8_t, 1>{parameter}, answer,
                            std::array<std::uint8_t, 2>{0, parameter});
}

ErrorCode receiveMsg(BoardDevice& device, std::uint16_t key, MessageHeader& header) {
    Answer answer;
    const ErrorCode code = issue<kReceiveMsg>(device, le16(key), answer, be16(key));
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
    const ErrorCode code = issue<kReadMsg>(device, le16(key), answer, be16(key));
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
    // USB: the key, then the message bytes; the length is the frame's.
    std::array<std::uint8_t, fdb::kMsgDataBytes + 2> usb{hi(key), lo(key)};
    std::copy(data.begin(), data.end(), usb.begin() + 2);
    Answer answer;
    return issue<kWriteMsg>(device, input, answer, std::span(usb).first(data.size() + 2));
}

ErrorCode sendMsg(BoardDevice& device, const SendRequest& request) {
    const auto input = sendMsgInput(request);
    // USB: the key, then the ten request bytes; the acknowledged byte selects the command byte.
    std::array<std::uint8_t, 12> usb{hi(request.key), lo(request.key)};
    std::copy_n(input.begin() + 3, 10, usb.begin() + 2);
    Answer answer;
    return issue<kSendMsg>(device, input, answer, usb, request.acknowledged ? 0x99 : 0x89);
}

ErrorCode purge(BoardDevice& device, std::uint16_t word) { return wordCommand<kPurge>(device, word); }

ErrorCode sendAper(BoardDevice& device, std::uint16_t index, std::uint8_t kind) {
    Answer answer;
    return issue<kSendAper>(device, std::array<std::uint8_t, 4>{lo(index), hi(index), kind, 0}, answer, be16(index),
                            kind ? 0x98 : 0x88);
}

ErrorCode defEvt(BoardDevice& device, std::uint8_t parameter, std::uint8_t flags, std::uint16_t index) {
    Answer answer;
    return issue<kDefEvt>(device, std::array<std::uint8_t, 4>{parameter, flags, lo(index), hi(index)}, answer,
                          std::array<std::uint8_t, 4>{hi(index), lo(index), flags, parameter});
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

// On a USB board the reply's status word and length do not count: the state is reply data byte 0
// (0 when the reply has none). A request that got no reply at all is not a state, and fails.
ErrorCode isEvt(BoardDevice& device, std::uint8_t& state) {
    if (!device.isUsb()) return byteQuery<kIsEvt>(device, state);
    Answer answer;
    const ErrorCode code = issue<kIsEvt>(device, answer);
    if (code != kSuccess && !isStatusWordError(code) && code != kErrReplyLength) return code;
    state = answer.size > 0 ? answer.bytes[0] : 0;
    return kSuccess;
}

ErrorCode startBa(BoardDevice& device, std::uint16_t page) { return wordCommand<kStartBa>(device, page); }
ErrorCode stopBa(BoardDevice& device) { return noInputCommand<kStopBa>(device); }
ErrorCode continueBa(BoardDevice& device, std::uint16_t word) { return wordCommand<kContinueBa>(device, word); }
ErrorCode changeMacroBa(BoardDevice& device, std::uint16_t word) { return wordCommand<kChangeMacroBa>(device, word); }
ErrorCode baReport(BoardDevice& device, std::uint8_t& report) { return byteQuery<kBaReport>(device, report); }

ErrorCode mediumAccess(BoardDevice& device, std::uint8_t operation, std::uint8_t& registerByte) {
    Answer answer;
    const ErrorCode code = issue<kMediumAccess>(device, std::array<std::uint8_t, 1>{operation}, answer,
                                                std::array<std::uint8_t, 2>{0, operation});
    if (code == kSuccess) registerByte = answer.bytes[0];
    return code;
}

// USB: 0x06, 0x00 (the same word, high byte first).
ErrorCode startCircuit(BoardDevice& device) { return wordCommand<kStartCircuit>(device, 0x0600); }
ErrorCode endTest(BoardDevice& device) { return noInputCommand<kEndTest>(device); }
ErrorCode clearCardMemory(BoardDevice& device) { return noInputCommand<kFipRazMem>(device); }
ErrorCode reset(BoardDevice& device) { return noInputCommand<kReset>(device); }

ErrorCode readPage(BoardDevice& device, std::uint16_t page, Page bytes) {
    Answer answer;
    const ErrorCode code = issue<kReadPhy>(device, le16(page), answer, be16(page));
    if (code == kSuccess) std::copy_n(answer.bytes.begin(), bytes.size(), bytes.begin());
    return code;
}

ErrorCode writePage(BoardDevice& device, std::uint16_t page, ConstPage bytes) {
    std::array<std::uint8_t, fdb::kWritePhyInput> input{lo(page), hi(page)};
    std::copy(bytes.begin(), bytes.end(), input.begin() + 2);
    std::array<std::uint8_t, fdb::kWritePhyInput> usb{hi(page), lo(page)};
    std::copy(bytes.begin(), bytes.end(), usb.begin() + 2);
    Answer answer;
    return issue<kWritePhy>(device, input, answer, usb);
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

namespace {
constexpr std::uint8_t kIdRgbLed = 3;
constexpr std::uint8_t kIdFirmwareVersion = 6;
}  // namespace

ErrorCode getRgbLed(BoardDevice& device, std::uint8_t& colour) {
    if (!device.isUsb()) return ERROR_NOT_SUPPORTED;
    std::array<std::uint8_t, kUsbReplyBytes> reply{};
    std::uint16_t length = 0;
    const auto code = static_cast<ErrorCode>(device.usb()->read_by_id(1, kIdRgbLed, 0, length, reply));
    colour = 0;
    if (code == kSuccess && length >= 1) colour = reply[0] & 7;
    return code;
}

ErrorCode setRgbLed(BoardDevice& device, std::uint8_t colour) {
    if (!device.isUsb()) return ERROR_NOT_SUPPORTED;
    const std::array<std::uint8_t, 1> data{static_cast<std::uint8_t>(colour & 7)};
    return static_cast<ErrorCode>(device.usb()->write_by_id(1, kIdRgbLed, data));
}

ErrorCode readFirmwareVersion(BoardDevice& device, std::vector<std::uint8_t>& version) {
    version.clear();
    if (!device.isUsb()) return ERROR_NOT_SUPPORTED;
    std::array<std::uint8_t, kUsbReplyBytes> reply{};
    std::uint16_t length = 0;
    const auto code = static_cast<ErrorCode>(device.usb()->read_by_id(1, kIdFirmwareVersion, 0, length, reply));
    version.assign(reply.begin(), reply.begin() + length);
    return code;
}

}  // namespace corvix::board
