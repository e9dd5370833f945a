#include "wait_ustate.h"

#include "base/clock.h"

namespace fullfip2 {

NtStatus WaitUstate(RegisterAccessor& board, std::uint8_t mask, WaitMode mode) {
    // The low 32 bits of the system time suffice: the difference is taken modulo 2^32 (429 s).
    const auto start = static_cast<std::uint32_t>(qbase::systemTime100ns());
    for (;;) {
        const std::uint8_t masked = board.readFullfip(reg::kUcom) & mask;
        if (mode == WaitMode::Set ? masked == mask : masked == 0) return nt::kSuccess;
        const auto now = static_cast<std::uint32_t>(qbase::systemTime100ns());
        if (static_cast<std::uint32_t>(now - start) > kWaitLimit100ns) return nt::kTimeout;
    }
}

}  // namespace fullfip2
