// STATION4: one entry of the 256-station table, 35 bytes.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace records {

struct STATION4 {
  static constexpr std::size_t size = 35;

  std::array<char, 33> name{};       // 0
  std::int16_t physical_address = 0; // 33: -1 = no physical address

  friend bool operator==(const STATION4&, const STATION4&) = default;
};

void encode(const STATION4& station, std::span<std::uint8_t, STATION4::size> out);
void decode(std::span<const std::uint8_t, STATION4::size> in, STATION4& station);

STATION4 make_station(std::string_view name, std::int16_t physical_address);

}  // namespace records
