// The platform's message text for a platform error code (bit 29 clear).
#pragma once

#include <cstdint>

namespace faultra {

// The platform's own text, in the system's language, as it comes (ending with "\r\n"), handed
// over as deliverText does. A code the platform has no text for gives *needed = 0 and returns
// the platform's error code.
std::int32_t platformMessage(std::uint32_t code, char* text, std::uint32_t size, std::uint32_t* needed);

}  // namespace faultra
