// Widening of format-3 records to the format-4 records: fields not carried stay zero, and the
// 30-byte names and display formats become zero-terminated strings of 33 bytes.
#pragma once

#include <cstdint>

namespace corvix::download {

inline constexpr int kMessage3Bytes = 71;
inline constexpr int kVariable3Bytes = 78;

// `to` is a zero-filled record of 83 (message) or 122 (variable) bytes.
void widenMessage3(const std::uint8_t* from, std::uint8_t* to);
void widenVariable3(const std::uint8_t* from, std::uint8_t* to);

}  // namespace corvix::download
