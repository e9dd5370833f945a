// Two networks that the download tests share, built from records as the designer holds them.
#pragma once

#include "records/configuration.h"

namespace corvix::testing {

// Without BA memory: T = 8, M = 4; 1 Mbit/s (speed 1), slot time 2, so the timing factor is 1.6.
// Five variables in file order 0x0300, 0x0010, 0x8001, 0x0120, 0x0005 (0x8001 sorts last as an
// unsigned identifier); messages: transmitted, received, transmitted.
records::Configuration withoutBaMemory();

// With BA memory: T = 64, M = 8; 31.25 kbit/s (speed 0), slot time 0, so the timing factor is 10.
// The variable 0x30 receives messages (flags bit 0): message keys start at T + 64. Both macro lists,
// with lines that fill all 15 bytes or carry bytes after their end.
records::Configuration withBaMemory();

}  // namespace corvix::testing
