// MESSAGE4: one configured message, 83 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

namespace records {

struct MESSAGE4 {
  static constexpr std::size_t size = 83;

  std::uint16_t source_identifier = 0;       // 0
  std::uint16_t destination_identifier = 0;  // 2
  std::uint16_t channel = 0;                 // 4: periodic 1..8, aperiodic 0
  std::uint16_t event_number = 0;            // 6
  std::uint8_t source_segment = 0;           // 8
  std::uint8_t destination_segment = 0;      // 9
  std::array<char, 33> name{};               // 10
  std::array<char, 33> format{};             // 43: display format
  std::uint8_t acknowledged = 0;             // 76
  std::uint8_t aperiodic = 0;                // 77: 1 = aperiodic mode
  std::uint8_t transmitted = 0;              // 78: 1 = transmitted by the local station
  std::int16_t remote_station = 0;           // 79: station index, -1 = none
  std::uint16_t key = 0;                     // 81: 35000 + index

  friend bool operator==(const MESSAGE4&, const MESSAGE4&) = default;
};

void encode(const MESSAGE4& message, std::span<std::uint8_t, MESSAGE4::size> out);
void decode(std::span<const std::uint8_t, MESSAGE4::size> in, MESSAGE4& message);

inline constexpr std::uint16_t kMaxMessageChannel = 8;

}  // namespace records
