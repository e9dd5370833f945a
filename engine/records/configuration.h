// Configuration: the data of one network configuration as the designer's document holds it, and
// the rules over the whole of it (keys, table sizes, controller memory estimate).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "records/ba_param.h"
#include "records/general_param.h"
#include "records/instruction.h"
#include "records/liste_aper.h"
#include "records/message4.h"
#include "records/station4.h"
#include "records/status.h"
#include "records/variable4.h"

namespace records {

inline constexpr std::size_t kMaxVariables = 4095;
inline constexpr std::size_t kMaxMessages = 4096;
inline constexpr std::size_t kMaxLists = 65535;

struct Configuration {
  GENERAL_PARAM param;
  BA_PARAM ba;
  std::vector<INSTRUCTION> sequence1;
  std::vector<INSTRUCTION> sequence2;
  std::vector<MESSAGE4> messages;
  std::vector<VARIABLE4> variables;
  std::uint16_t station_count = 0;  // entries 0..station_count-1 of stations are valid
  std::uint16_t local_station = 0;
  std::array<STATION4, kStationCapacity> stations{};
  std::vector<LISTE_APER> lists;

  friend bool operator==(const Configuration&, const Configuration&) = default;
};

// A new configuration: the parameters of new_general_param(), a zeroed BA block, no instructions,
// messages, variables or lists, and the one station "Local station" at address 0.
Configuration new_configuration();

inline constexpr std::uint16_t kVariableKeyBase = 5000;
inline constexpr std::uint16_t kMessageKeyBase = 35000;
constexpr std::uint16_t variable_key(std::size_t index) {
  return static_cast<std::uint16_t>(kVariableKeyBase + index);
}
constexpr std::uint16_t message_key(std::size_t index) {
  return static_cast<std::uint16_t>(kMessageKeyBase + index);
}
// Variable i gets key 5000 + i, message i 35000 + i.
void renumber_keys(Configuration& configuration);

// The station indices that the designer follows without looking: the local station must lie
// below the station count (local_station_out_of_range) and every variable's producer must be -1
// or lie below it (producer_out_of_range). A message's remote station is not checked: a message
// whose far end lies outside the table is shown without that side.
Status check_station_indices(const Configuration& configuration);

// The records as the designer's writers (its editors and record commands, format 3's reading)
// can leave them, which the tree, the checks before a connection and the on-line session follow
// without looking: first the station indices above, then (inconsistent):
// - each variable's consumer set names stations below the count only, consumer_count is the
//   number of its members, and its producer is not among them;
// - direction is 0 exactly when the local station produces the variable, 1 exactly when another
//   station (or none) produces it and the local station consumes it;
// - a variable has channel -1 without flags 0x02 and at least 0 with it, whatever its direction
//   (a consumed variable may keep 0x02, 0x40 and its channel: only the produced ones count);
// - the status bytes of a variable and the mode bytes of a message (acknowledged, aperiodic,
//   transmitted) are 0 or 1.
// What the checks before a connection tell by name (names, identifiers, formats, channels that no
// variable carries) and what the tree shows without (a message's remote station, -1 or outside the
// table) is not looked at here. Nor are the periodic channels: their numbers may have gaps and lie
// above 8 (format 3 numbers consumed variables too), and two produced variables may share one (the
// variable editor lowers the channels above one that a variable gives up, even when a consumed
// variable held the number below); more than eight is left to the checks before a connection.
Status check_consistency(const Configuration& configuration);

// Physical address of the local station (0 when the index is outside the table).
int local_address(const Configuration& configuration);

// Engine table sizes: the smallest power of two not below the message count, and the smallest
// strictly above the variable count, each from 4 to 4096.
std::uint16_t message_table_size(std::size_t message_count);
std::uint16_t variable_table_size(std::size_t variable_count);
// Format 3's rule: 16 below 16 records, otherwise 32 doubled until it holds them, at most 512.
std::uint16_t format3_table_size(std::size_t count);

// Sets both table sizes and, when the configuration has a bus arbitrator (ba_size != 0),
// ba_size = instruction_cost / 1000 rounded up.
void size_tables(Configuration& configuration, std::uint32_t instruction_cost);

inline constexpr std::uint32_t kMemoryLimit = 0x7D00000;
// A message's share of the estimate: 16 when it is transmitted (any type byte but 0), else 0.
std::uint32_t message_memory_cost(const MESSAGE4& message);
// 256 + 1024 + each message's share + (instruction_cost + 768 with a bus arbitrator)
// + 32 per variable.
std::uint32_t memory_estimate(const Configuration& configuration, std::uint32_t instruction_cost);

}  // namespace records
