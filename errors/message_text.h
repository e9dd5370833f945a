// How ERROR_MESSAGE hands a text to its caller, and the texts of the system's own codes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>

#include "message_table.h"

namespace faultra {

// The system's own codes have bit 29 set; every other code is a platform error code.
inline constexpr std::uint32_t kOwnCodeBit = 0x20000000;

// Sets *needed to the bytes of the concatenated parts + 1 and writes them with a terminating
// zero only when size holds all of that; otherwise writes no byte of text. A null text or
// needed pointer makes the call a size request that writes nothing through it.
void deliverText(std::initializer_list<std::string_view> parts, char* text, std::uint32_t size,
                 std::uint32_t* needed);

// The text of one of the system's own codes in `language`, ending with its line feed; a code
// without a row of its own gets the unknown-error text. Always succeeds (returns 0).
std::int32_t ownMessage(std::uint32_t code, Language language, char* text, std::uint32_t size,
                        std::uint32_t* needed);

}  // namespace faultra
