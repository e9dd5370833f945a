// VARIABLE4: one configured variable, 122 bytes, and its consumer set.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace records {

inline constexpr std::size_t kStationCapacity = 256;

// A value-initialised record is all zero bytes, as the readers allocate them.
struct VARIABLE4 {
  static constexpr std::size_t size = 122;

  // Bits of `flags`.
  static constexpr std::uint8_t kMessageReception = 0x01;
  static constexpr std::uint8_t kMessageChannel = 0x02;  // carries message requests
  static constexpr std::uint8_t kAperiodicVariableRequests = 0x40;

  std::uint16_t identifier = 0;               // 0
  std::array<char, 33> name{};                // 2
  std::array<char, 33> format{};              // 35: display format
  std::uint16_t pdu_type = 0;                 // 68
  std::uint16_t length = 0;                   // 70
  std::int16_t channel = 0;                   // 72: -1 none, 0 aperiodic, 1..8 periodic
  std::uint16_t field_74 = 0;                 // 74: carried unchanged
  std::int16_t producer = 0;                  // 76: station index, -1 = none
  std::uint16_t consumer_count = 0;           // 78
  std::array<std::uint32_t, 8> consumers{};   // 80: bit (i % 32) of word (i / 32) = station i
  std::uint8_t direction = 0;                 // 112: 0 produced, 1 consumed by the local station
  std::uint8_t refreshment_status = 0;        // 113
  std::uint8_t promptness_status = 0;         // 114
  std::uint8_t flags = 0;                     // 115
  std::uint16_t refreshment_period = 0;       // 116: ms
  std::uint16_t promptness_period = 0;        // 118: ms
  std::uint16_t key = 0;                      // 120: 5000 + index

  friend bool operator==(const VARIABLE4&, const VARIABLE4&) = default;
};

void encode(const VARIABLE4& variable, std::span<std::uint8_t, VARIABLE4::size> out);
void decode(std::span<const std::uint8_t, VARIABLE4::size> in, VARIABLE4& variable);

// Consumer set of station indexes 0..255; an index out of range is never a consumer.
bool is_consumer(const VARIABLE4& variable, std::size_t station);
void set_consumer(VARIABLE4& variable, std::size_t station, bool consumes);

}  // namespace records
