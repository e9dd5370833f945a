#include "wait_ustate.h"

#include "kernel/wdm.h"

namespace fullfip2 {

namespace {

// The low 32 bits of the system time suffice: differences are taken modulo 2^32 (429 s).
std::uint32_t systemTimeLow() {
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<std::uint32_t>(now.QuadPart);
}

bool holds(RegisterAccessor& board, std::uint8_t mask, WaitMode mode) {
    const std::uint8_t masked = board.readFullfip(reg::kUcom) & mask;
    return mode == WaitMode::Set ? masked == mask : masked == 0;
}

}  // namespace

NtStatus WaitUstate(RegisterAccessor& board, std::uint8_t mask, WaitMode mode) {
    // Most waits hold at the first read (one per FIFO byte): the clock is read only after that.
    if (holds(board, mask, mode)) return nt::kSuccess;
    const std::uint32_t start = systemTimeLow();
    for (;;) {
        if (holds(board, mask, mode)) return nt::kSuccess;
        if (static_cast<std::uint32_t>(systemTimeLow() - start) > kWaitLimit100ns) return nt::kTimeout;
    }
}

}  // namespace fullfip2
