#include "wait_ustate.h"

#include "kernel/wdm.h"

namespace fullfip2::detail {

namespace {

// The low 32 bits of the system time suffice: differences are taken modulo 2^32 (429 s).
std::uint32_t systemTimeLow() {
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return static_cast<std::uint32_t>(now.QuadPart);
}

}  // namespace

NtStatus waitUstateTimed(RegisterAccessor& board, std::uint8_t mask, WaitMode mode) {
    const std::uint32_t start = systemTimeLow();
    for (;;) {
        if (ustateHolds(board, mask, mode)) return nt::kSuccess;
        if (static_cast<std::uint32_t>(systemTimeLow() - start) > kWaitLimit100ns) return nt::kTimeout;
    }
}

}  // namespace fullfip2::detail
