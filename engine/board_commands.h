// The board command layer: one function per board command, each one synchronous buffered I/O
// control call on an open board device, with the command's fixed code and buffers, and the result
// mapped in the contract's order:
//   1. the call fails: the platform's last error (121 as kErrDeviceTimeout);
//   2. the answer's length is not the command's: kErrReplyLength (a one-byte answer whose status
//      has bit 7 set is that CardError where the command allows it);
//   3. an FDB_STATUS byte with bit 7 set: cardError(status); else kSuccess.
// 16-bit inputs go least significant byte first; board data passes through unchanged. Answer
// buffers start zeroed, so a short or refused answer never leaves stale bytes in an output.
// On a USB board each command is an exec-by-id request (P1 1, P2 the command byte) carrying the same
// input with 16-bit values high byte first; a failed request returns its own code unchanged.
// Commands without a USB form (card type, PCI slot, PC104 address, LEDs) give ERROR_NOT_SUPPORTED.
// No lock: callers serialise the calls of threads that share a device (the USB board object
// serialises its requests itself). A closed device fails every command with a code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "board_device.h"
#include "engine_errors.h"
#include "fdb_ioctl.h"

namespace corvix::board {

// A variable's value as the board returns it.
struct VarValue {
    std::uint8_t status = 0;  // FDB_STATUS; bit 5 is the refreshment flag
    std::uint8_t size = 0;    // 1..128
    std::array<std::uint8_t, fdb::kVarDataBytes> data{};
};

// RECEIVE_MSG_OUTPUT: a received message's header.
struct MessageHeader {
    std::uint8_t status = 0;
    std::uint8_t length = 0;  // 0..252
    std::uint16_t destinationId = 0;
    std::uint8_t destinationSegment = 0;
    std::uint16_t sourceId = 0;
    std::uint8_t sourceSegment = 0;
};

// READ_MSG_OUTPUT: status byte, then the message bytes.
struct MessageBody {
    std::uint8_t status = 0;
    std::size_t size = 0;  // message bytes returned after the status byte (0..251)
    std::array<std::uint8_t, fdb::kReadMsgOutput - 1> data{};
};

// READ_EVT_OUTPUT.
struct EventRecord {
    std::uint8_t status = 0;
    std::uint8_t event = 0;  // bit 7 flag, bits 2-4 value, bits 0-1 kind
    std::uint8_t parameter = 0;
    std::uint16_t identifier = 0;
};

// The arguments of FIP_WRITE_MSG that make up SEND_MSG_INPUT.
struct SendRequest {
    std::uint16_t key = 0;
    std::uint8_t acknowledged = 0;
    std::uint8_t channelByte = 0;  // passed to the controller as given
    std::uint16_t channel = 0;     // selects the control byte and the channel selector
    std::uint16_t destinationId = 0;
    std::uint8_t destinationSegment = 0;
    std::uint16_t sourceId = 0;
    std::uint8_t sourceSegment = 0;
};

using Page = std::span<std::uint8_t, fdb::kPageBytes>;
using ConstPage = std::span<const std::uint8_t, fdb::kPageBytes>;

// Bytes of the requests whose layout is more than a list of u16 (exposed for the tests).
std::array<std::uint8_t, fdb::kSendMsgInput> sendMsgInput(const SendRequest& request);
// The purge word of a channel: 0x2191 for channel 0, 0x2581 + 4 x (k - 1) for 1..8, else 0.
std::uint16_t purgeWord(std::uint8_t channel);

// Variables.
ErrorCode readVar(BoardDevice& device, std::uint16_t index, VarValue& value);
// Sends the first data.size() bytes (at most 128), the rest of the 128 zero.
ErrorCode writeVar(BoardDevice& device, std::uint16_t index, std::span<const std::uint8_t> data);
ErrorCode defParam(BoardDevice& device, std::uint8_t parameter);

// Messages. receiveMsg fills the header also when the board refuses (status with bit 7).
ErrorCode receiveMsg(BoardDevice& device, std::uint16_t key, MessageHeader& header);
ErrorCode readMsg(BoardDevice& device, std::uint16_t key, MessageBody& body);
// At most 252 bytes; a longer message is kErrMessageTooLong and nothing is sent.
ErrorCode writeMsg(BoardDevice& device, std::uint16_t key, std::span<const std::uint8_t> data);
ErrorCode sendMsg(BoardDevice& device, const SendRequest& request);
ErrorCode purge(BoardDevice& device, std::uint16_t purgeWord);
ErrorCode sendAper(BoardDevice& device, std::uint16_t index, std::uint8_t kind);

// Events. readEvt fills the record also when the board refuses.
ErrorCode defEvt(BoardDevice& device, std::uint8_t parameter, std::uint8_t flags, std::uint16_t index);
ErrorCode readEvt(BoardDevice& device, EventRecord& record);
// The controller state byte (bit 5: an event is pending); exactly one byte, no status meaning.
ErrorCode isEvt(BoardDevice& device, std::uint8_t& state);

// Bus arbitrator.
ErrorCode startBa(BoardDevice& device, std::uint16_t page);
ErrorCode stopBa(BoardDevice& device);
ErrorCode continueBa(BoardDevice& device, std::uint16_t word);
ErrorCode changeMacroBa(BoardDevice& device, std::uint16_t word);
// The BA report byte (low nibble: BaState); exactly one byte, no status meaning.
ErrorCode baReport(BoardDevice& device, std::uint8_t& report);

// Medium: the medium register byte after operation 0..7; exactly one byte, no status meaning.
ErrorCode mediumAccess(BoardDevice& device, std::uint8_t operation, std::uint8_t& registerByte);

// Start of communication and card memory.
ErrorCode startCircuit(BoardDevice& device);  // sends 0x0600
ErrorCode endTest(BoardDevice& device);
ErrorCode clearCardMemory(BoardDevice& device);  // IOCTL_FDB_FIP_RAZ_MEM
ErrorCode reset(BoardDevice& device);            // IOCTL_FULLFIP2_RESET
// One 128-byte card memory page; a read that returns fewer bytes is kErrReplyLength.
ErrorCode readPage(BoardDevice& device, std::uint16_t page, Page bytes);
ErrorCode writePage(BoardDevice& device, std::uint16_t page, ConstPage bytes);

// Board queries: one u32 each (kErrReplyLength when the answer is not 4 bytes).
ErrorCode getCardType(BoardDevice& device, std::uint32_t& type);  // 0 PCI driver, 1 PC104 driver
ErrorCode getCardConf(BoardDevice& device, std::uint32_t& word);   // CardConfWord
ErrorCode getSerialNumber(BoardDevice& device, std::uint32_t& serial);
ErrorCode getPciSlot(BoardDevice& device, std::uint32_t& slot);
ErrorCode getPc104BaseAddress(BoardDevice& device, std::uint32_t& address);
// LEDs of a PC104 board: one bit per LED.
ErrorCode getLedsState(BoardDevice& device, std::uint8_t& mask);
ErrorCode setLedsState(BoardDevice& device, std::uint8_t mask);

// USB boards only (ERROR_NOT_SUPPORTED on others): the RGB LED's colour (0..7; 0 unless the
// request succeeds) and the firmware version bytes. Their results are the requests' own.
ErrorCode getRgbLed(BoardDevice& device, std::uint8_t& colour);
ErrorCode setRgbLed(BoardDevice& device, std::uint8_t colour);
ErrorCode readFirmwareVersion(BoardDevice& device, std::vector<std::uint8_t>& version);

}  // namespace corvix::board
