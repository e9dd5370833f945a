// The FULLFIP2 wait routine: polls USTATE without sleeping until a condition holds or 50 s pass.
#pragma once

#include <cstdint>

#include "register_accessor.h"

namespace fullfip2 {

enum class WaitMode { Set, Clear };

// 50 s in units of 100 ns.
inline constexpr std::uint32_t kWaitLimit100ns = 500'000'000;

namespace detail {
inline bool ustateHolds(RegisterAccessor& board, std::uint8_t mask, WaitMode mode) {
    const std::uint8_t masked = board.readFullfip(reg::kUcom) & mask;
    return mode == WaitMode::Set ? masked == mask : masked == 0;
}
// The polling loop once the first read has not found the condition, timed from that moment.
NtStatus waitUstateTimed(RegisterAccessor& board, std::uint8_t mask, WaitMode mode);
}  // namespace detail

// Set: until USTATE AND mask equals mask; Clear: until USTATE AND mask is 0. Returns nt::kSuccess
// when the condition holds, nt::kTimeout (258) once it has not held for more than kWaitLimit100ns.
// USTATE is read before the clock on every pass, so a condition that holds is never a time-out.
// Most waits hold at the first read (one per FIFO byte), which reads no clock.
inline NtStatus WaitUstate(RegisterAccessor& board, std::uint8_t mask, WaitMode mode) {
    if (detail::ustateHolds(board, mask, mode)) return nt::kSuccess;
    return detail::waitUstateTimed(board, mask, mode);
}

}  // namespace fullfip2
