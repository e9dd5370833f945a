// Messages: RECEIVE_MSG, READ_MSG, WRITE_MSG, SEND_MSG and PURGE.
#include "command_handlers.h"
#include "fdb_ioctl.h"

namespace fullfip2 {
namespace {

constexpr std::uint8_t kReceiveMsg = 0x4D;
constexpr std::uint8_t kReadMsg = 0x42;
constexpr std::uint8_t kWriteMsg = 0xC2;
constexpr std::uint8_t kSendAcknowledged = 0x99;
constexpr std::uint8_t kSendUnacknowledged = 0x89;
constexpr std::uint8_t kPurge = 0x5E;

constexpr std::uint8_t kReceiveBytes = fdb::kReceiveMsgOutput - 1;
constexpr std::uint32_t kReadMsgRoom = fdb::kReadMsgOutput - 1;  // after the status
constexpr std::uint32_t kWriteMsgFullSize = 251;
constexpr std::uint32_t kSendMinInput = 3;      // key and the acknowledged byte
constexpr std::uint8_t kSendRequestBytes = 10;  // input bytes 3..12
constexpr std::uint32_t kSendRequestEnd = 3 + kSendRequestBytes;

}  // namespace

Completion BASE_RECEIVE_MSG(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                            std::uint8_t* buffer) {
    // The room for the 9 bytes is checked after VAR_SIZE; the status byte needs room from the start.
    if (inLength != 2 || outLength == 0) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    t.command(kReceiveMsg);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (auto refused = t.takeStatus(buffer)) return *refused;
    if (t.varSize() != kReceiveBytes) return failed(nt::kInvalidDeviceState);
    if (outLength < fdb::kReceiveMsgOutput) return failed(nt::kInvalidParameter);
    if (const NtStatus s = t.readData(buffer + 1, kReceiveBytes); s != nt::kSuccess) return failed(s);
    return t.finish(fdb::kReceiveMsgOutput);
}

Completion BASE_READ_MSG(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                         std::uint8_t* buffer) {
    if (inLength != 2 || outLength != fdb::kReadMsgOutput) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    t.command(kReadMsg);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (auto refused = t.takeStatus(buffer)) return *refused;
    const std::uint8_t size = t.varSize();
    if (size > kReadMsgRoom) return failed(nt::kInvalidDeviceState);
    if (const NtStatus s = t.readData(buffer + 1, size); s != nt::kSuccess) return failed(s);
    return t.finish(size + 1u);
}

Completion BASE_WRITE_MSG(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                          std::uint8_t* buffer) {
    if (inLength != fdb::kWriteMsgInput || outLength != 1) return failed(nt::kInvalidParameter);
    // Input: u16 key, u16 length, 252 data bytes. A longer length would read past the input.
    const std::uint16_t length = u16At(buffer + 2);
    if (length > fdb::kMsgDataBytes) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    t.command(kWriteMsg);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    const std::uint8_t status = t.status();
    if (t.varSize() != kWriteMsgFullSize && length > kWriteMsgFullSize) return failed(nt::kInvalidParameter);
    if (const NtStatus s = t.writeData(buffer + 4, length); s != nt::kSuccess) return failed(s);
    const Completion done = t.finish(1);
    if (done.status == nt::kSuccess) buffer[0] = status;
    return done;
}

Completion BASE_SEND_MSG(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                         std::uint8_t* buffer) {
    if (inLength < kSendMinInput || outLength != 1) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    t.command(buffer[2] != 0 ? kSendAcknowledged : kSendUnacknowledged);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (auto refused = t.takeStatus(buffer)) return *refused;  // byte 0 lies before the request bytes
    if (t.varSize() != kSendRequestBytes) return failed(nt::kInvalidDeviceState);
    if (inLength < kSendRequestEnd) return failed(nt::kInvalidParameter);
    if (const NtStatus s = t.writeData(buffer + 3, kSendRequestBytes); s != nt::kSuccess) return failed(s);
    return t.finish(1);
}

Completion BASE_PURGE(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                      std::uint8_t* buffer) {
    if (inLength != 2 || outLength != 1) return failed(nt::kInvalidParameter);
    const std::uint16_t purgeWord = u16At(buffer);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(purgeWord);
    t.command(kPurge);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (purgeWord != 0) {  // 0: nothing to drain
        if (const NtStatus s = t.drain(t.varSize()); s != nt::kSuccess) return failed(s);
    }
    buffer[0] = t.status();
    return t.finish(1);
}

}  // namespace fullfip2
