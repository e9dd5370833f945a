// Variables and events: READ_VAR, WRITE_VAR, DEF_EVT, READ_EVT and IS_EVT.
#include "command_handlers.h"
#include "fdb_ioctl.h"

namespace fullfip2 {
namespace {

constexpr std::uint8_t kReadVar = 0x41;
constexpr std::uint8_t kWriteVar = 0xC5;
constexpr std::uint8_t kDefEvt = 0xC6;
constexpr std::uint8_t kReadEvt = 0x43;

constexpr std::uint32_t kReadVarRoom = fdb::kReadVarOutput - 2;  // after status and size
constexpr std::uint32_t kDefEvtInput = 4;
constexpr std::uint8_t kDefEvtSize = 2;
constexpr std::uint8_t kEventBytes = fdb::kReadEvtOutput - 1;

}  // namespace

Completion BASE_READ_VAR(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                         std::uint8_t* buffer) {
    if (inLength != 2 || outLength != fdb::kReadVarOutput) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    t.command(kReadVar);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (auto refused = t.takeStatus(buffer)) return *refused;
    const std::uint8_t size = t.varSize();
    if (size > kReadVarRoom) return failed(nt::kInvalidDeviceState);
    buffer[1] = size;
    if (const NtStatus s = t.readData(buffer + 2, size); s != nt::kSuccess) return failed(s);
    return t.finish(size + 2u);
}

Completion BASE_WRITE_VAR(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                          std::uint8_t* buffer) {
    if (inLength != fdb::kWriteVarInput || outLength != 1) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    t.command(kWriteVar);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    // The status overlays the key, already sent; the data starts at byte 2.
    buffer[0] = t.status();
    if ((buffer[0] & kCardRefused) != 0) {
        (void)t.close();  // the refusal stands whatever the last wait gives
        return {nt::kSuccess, 1};
    }
    const std::uint8_t size = t.varSize();
    if (const std::uint8_t ustate = t.ustate(); (ustate & kDataRequest) == 0) {
        buffer[0] = ustate;
        (void)t.close();
        return failed(nt::kUnsuccessful);
    }
    if (size > fdb::kVarDataBytes) return failed(nt::kInvalidDeviceState);
    if (const NtStatus s = t.writeData(buffer + 2, size); s != nt::kSuccess) return failed(s);
    return t.finish(1);
}

Completion BASE_DEF_EVT(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                        std::uint8_t* buffer) {
    if (inLength != kDefEvtInput || outLength != 1) return failed(nt::kInvalidParameter);
    // Input: parameter byte, flags byte, u16 variable index. The controller takes the flags first.
    const std::uint8_t data[kDefEvtSize] = {buffer[1], buffer[0]};
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer + 2));
    t.command(kDefEvt);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (t.varSize() != kDefEvtSize) return failed(nt::kInvalidDeviceState);
    if (const NtStatus s = t.writeData(data, kDefEvtSize); s != nt::kSuccess) return failed(s);
    buffer[0] = t.status();
    return t.finish(1);
}

Completion BASE_READ_EVT(RegisterAccessor& board, std::uint32_t, std::uint32_t outLength, std::uint8_t* buffer) {
    if (outLength != fdb::kReadEvtOutput) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.command(kReadEvt);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (auto refused = t.takeStatus(buffer)) return *refused;
    if (t.varSize() != kEventBytes) return failed(nt::kInvalidDeviceState);
    if (const NtStatus s = t.readData(buffer + 1, kEventBytes); s != nt::kSuccess) return failed(s);
    return t.finish(fdb::kReadEvtOutput);
}

Completion BASE_IS_EVT(RegisterAccessor& board, std::uint32_t, std::uint32_t outLength, std::uint8_t* buffer) {
    if (outLength != 1) return failed(nt::kInvalidParameter);
    buffer[0] = Transaction(board).ustate();
    return {nt::kSuccess, 1};
}

}  // namespace fullfip2
