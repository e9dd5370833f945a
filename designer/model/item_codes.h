// The configuration tree's item codes.
//
// Every item of the tree carries a code as its item data: 0 the root, 1 the local bus arbitrator,
// 100 + i station i, 5000 + i variable i (its VARIABLE4 key), 35000 + i message i (its MESSAGE4
// key). The codes of variables and messages are the records' keys, so a record names its items.
// The on-line session finds its items by these codes too.
#pragma once

#include <cstdint>

namespace plandrel {

inline constexpr std::uint32_t kRootCode = 0;
inline constexpr std::uint32_t kBusArbitratorCode = 1;
inline constexpr std::uint32_t kStationCodeBase = 100;
inline constexpr std::uint32_t kVariableCodeBase = 5000;
inline constexpr std::uint32_t kMessageCodeBase = 35000;

enum class ItemKind : std::uint8_t { root, bus_arbitrator, station, variable, message };

constexpr ItemKind kind_of_code(std::uint32_t code) {
  if (code == kRootCode) return ItemKind::root;
  if (code == kBusArbitratorCode) return ItemKind::bus_arbitrator;
  if (code < kVariableCodeBase) return ItemKind::station;
  if (code < kMessageCodeBase) return ItemKind::variable;
  return ItemKind::message;
}

constexpr std::uint32_t station_code(std::uint32_t index) { return kStationCodeBase + index; }
constexpr bool is_station_code(std::uint32_t code) {
  return code >= kStationCodeBase && code < kVariableCodeBase;
}

}  // namespace plandrel
