// Card memory pages: READ_PHY, WRITE_PHY and FIP_RAZ_MEM (1024 zeroed pages).
#include "command_handlers.h"
#include "fdb_ioctl.h"

namespace fullfip2 {
namespace {

constexpr std::uint8_t kReadPhy = 0x40;
constexpr std::uint8_t kWritePhy = 0xC4;
constexpr std::uint16_t kControllerPages = 1024;

// One page written through the FIFO; `bytes` nullptr writes zeros. WRITE_PHY waits for the answer
// after the command byte, FIP_RAZ_MEM for the first data request.
Completion writePage(RegisterAccessor& board, std::uint16_t page, const std::uint8_t* bytes, bool waitForData) {
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(page);
    t.command(kWritePhy);
    if (const NtStatus s = waitForData ? t.waitData() : t.waitAnswer(); s != nt::kSuccess) return failed(s);
    if (t.varSize() != fdb::kPageBytes) return failed(nt::kInvalidDeviceState);
    const NtStatus moved = bytes ? t.writeData(bytes, fdb::kPageBytes) : t.writeZeros(fdb::kPageBytes);
    if (moved != nt::kSuccess) return failed(moved);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    return t.finish(0);
}

}  // namespace

Completion BASE_READ_PHY(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t outLength,
                         std::uint8_t* buffer) {
    if (inLength != 2) return failed(nt::kInvalidParameter);
    Transaction t(board);
    if (t.busy()) return failed(nt::kDeviceBusy);
    t.key(u16At(buffer));
    t.command(kReadPhy);
    if (const NtStatus s = t.waitData(); s != nt::kSuccess) return failed(s);
    if (t.varSize() != fdb::kPageBytes) return failed(nt::kInvalidDeviceState);
    if (outLength != fdb::kPageBytes) return failed(nt::kInvalidParameter);
    if (const NtStatus s = t.readData(buffer, fdb::kPageBytes); s != nt::kSuccess) return failed(s);
    if (const NtStatus s = t.waitAnswer(); s != nt::kSuccess) return failed(s);
    return t.finish(fdb::kPageBytes);
}

Completion BASE_WRITE_PHY(RegisterAccessor& board, std::uint32_t inLength, std::uint32_t, std::uint8_t* buffer) {
    if (inLength != fdb::kWritePhyInput) return failed(nt::kInvalidParameter);
    return writePage(board, u16At(buffer), buffer + 2, false);
}

Completion BASE_RAZ_MEM(RegisterAccessor& board, std::uint32_t, std::uint32_t, std::uint8_t*) {
    for (std::uint16_t page = 0; page < kControllerPages; ++page) {
        if (const Completion c = writePage(board, page, nullptr, true); c.status != nt::kSuccess) return c;
    }
    return {nt::kSuccess, 0};
}

}  // namespace fullfip2
