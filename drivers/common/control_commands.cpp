// Communication start and the bus arbitrator: START_CIRCUIT, END_TEST, DEF_PARAM, the BA
// commands and SEND_APER.
#include "command_handlers.h"

namespace fullfip2 {
namespace {

constexpr std::uint8_t kStartCircuit = 0xFF;
constexpr std::uint8_t kEndTest = 0xC2;
constexpr std::uint8_t kDefParam = 0xDB;
constexpr std::uint8_t kSendAperUrgent = 0x98;
constexpr std::uint8_t kSendAperNormal = 0x88;

constexpr std::uint32_t kNotChecked = 0;

// The commands whose whole answer is the status byte.
struct StatusCommand {
    std::uint8_t command;
    bool keyed;                // key = the first two input bytes
    std::uint32_t inLength;    // required input length, or kNotChecked
};

constexpr StatusCommand kStartBa{0x87, true, 2};
constexpr StatusCommand kStopBa{0x97, false, kNotChecked};
constexpr StatusCommand kBaReport{0xB7, false, kNotChecked};
constexpr StatusCommand kContinueBa{0xA7, true, 2};
constexpr StatusCommand kChangeMacroBa{0xE7, true, 2};
constexpr StatusCommand kSendAper{0, true, 4};  // the command byte follows input byte 2

Completion runStatusCommand(RegisterAccessor& board, const StatusCommand& command, std::uint8_t commandByte,
                            std::uint32_t inLength, std::uint32_t outLength, std::uint8_t* buffer) {
    if ((command.inLength != kNotChecked && inLength != command.inLength) || outLength != 1)
        return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    if (command.keyed) t.key(u16At(buffer));
    t.command(commandByte);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (auto refused = t.takeStatus(buffer)) return *refused;
    return t.finish(1);
}

Completion runStatusCommand(RegisterAccessor& board, const StatusCommand& command, std::uint32_t inLength,
                            std::uint32_t outLength, std::uint8_t* buffer) {
    return runStatusCommand(board, command, command.command, inLength, outLength, buffer);
}

// A command without status or data: the answer, then CLOSE.
Completion runBareCommand(Transaction& t, std::uint8_t commandByte) {
    t.command(commandByte);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    return t.finish(0);
}

}  // namespace

Completion BASE_START_CIRCUIT(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t, std::uint8_t* buffer) {
    if (inLength < 2) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    return runBareCommand(t, kStartCircuit);
}

Completion BASE_END_TEST(RegisterAccessor& board, std::uint32_t, std::uint32_t, std::uint8_t*) {
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.write(reg::kTest, 1);
    return runBareCommand(t, kEndTest);
}

Completion BASE_DEF_PARAM(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                          std::uint8_t* buffer) {
    if (inLength != 1 || outLength != 1) return failed(nt::kInvalidParameter);
    const std::uint8_t parameter = buffer[0];
    Transaction t(board);
    // DEF_PARAM alone counts the board busy while an answer is pending.
    if ((t.ustate() & kAnswerReady) == kAnswerReady) return failed(nt::kDeviceBusy);
    t.write(reg::kKeyLow, parameter);
    t.command(kDefParam);
    if (auto refused = t.takeStatus(buffer)) return *refused;  // read before the answer wait
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    return t.finish(1);
}

Completion BASE_START_BA(RegisterAccessor& board, std::uint32_t in, std::uint32_t out, std::uint8_t* buffer) {
    return runStatusCommand(board, kStartBa, in, out, buffer);
}

Completion BASE_STOP_BA(RegisterAccessor& board, std::uint32_t in, std::uint32_t out, std::uint8_t* buffer) {
    return runStatusCommand(board, kStopBa, in, out, buffer);
}

Completion BASE_BA_REPORT(RegisterAccessor& board, std::uint32_t in, std::uint32_t out, std::uint8_t* buffer) {
    return runStatusCommand(board, kBaReport, in, out, buffer);
}

Completion BASE_CONTINUE_BA(RegisterAccessor& board, std::uint32_t in, std::uint32_t out, std::uint8_t* buffer) {
    return runStatusCommand(board, kContinueBa, in, out, buffer);
}

Completion BASE_CHANGE_MACRO_BA(RegisterAccessor& board, std::uint32_t in, std::uint32_t out, std::uint8_t* buffer) {
    return runStatusCommand(board, kChangeMacroBa, in, out, buffer);
}

Completion BASE_SEND_APER(RegisterAccessor& board, std::uint32_t in, std::uint32_t out, std::uint8_t* buffer) {
    // The kind byte (input byte 2) is only there when the input has its four bytes.
    const std::uint8_t command = in == kSendAper.inLength && buffer[2] != 0 ? kSendAperUrgent : kSendAperNormal;
    return runStatusCommand(board, kSendAper, command, in, out, buffer);
}

}  // namespace fullfip2
