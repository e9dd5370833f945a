// The FULLFIP2 wait routine: polls USTATE without sleeping until a condition holds or 50 s pass.
#pragma once

#include <cstdint>

#include "register_accessor.h"

namespace fullfip2 {

enum class WaitMode { Set, Clear };

// 50 s in units of 100 ns.
inline constexpr std::uint32_t kWaitLimit100ns = 500'000'000;

// Set: until USTATE AND mask equals mask; Clear: until USTATE AND mask is 0. Returns nt::kSuccess
// when the condition holds, nt::kTimeout (258) once it has not held for more than kWaitLimit100ns.
// USTATE is read before the clock on every pass, so a condition that holds is never a time-out.
NtStatus WaitUstate(RegisterAccessor& board, std::uint8_t mask, WaitMode mode);

}  // namespace fullfip2
