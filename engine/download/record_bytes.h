// Little-endian fields of the packed configuration records, by byte offset.
#pragma once

#include <cstdint>

namespace corvix::download {

inline std::uint16_t u16At(const std::uint8_t* record, int offset) {
    return static_cast<std::uint16_t>(record[offset] | record[offset + 1] << 8);
}
inline std::int16_t i16At(const std::uint8_t* record, int offset) {
    return static_cast<std::int16_t>(u16At(record, offset));
}

inline constexpr int kGeneralParamBytes = 34;
inline constexpr int kVariableBytes = 122;
inline constexpr int kMessageBytes = 83;

}  // namespace corvix::download
