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

}  // namespace

NtStatus WaitUstate(RegisterAccessor& board, std::uint8_t mask, WaitMode mode) {
    const std::uint32_t start = systemTimeLow();
    for (;;) {
        const std::uint8_t masked = board.readFullfip(reg::kUcom) & mask;
        if (mode == WaitMode::Set ? masked == mask : masked == 0) return nt::kSuccess;
        if (static_cast<std::uint32_t>(systemTimeLow() - start) > kWaitLimit100ns) return nt::kTimeout;
    }
}

}  // namespace fullfip2
