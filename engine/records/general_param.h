// GENERAL_PARAM: the network's general parameters (section `param`), and the rules that tie its
// fields together (bit rate and speed constant, bus arbitrator priority and election count).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace records {

struct GENERAL_PARAM {
  static constexpr std::size_t size = 34;

  std::uint16_t speed_constant = 0;       // 0: 40, 64 or 80, follows speed
  std::uint16_t speed = 0;                // 2: 0 = 31.25 kbit/s, 1 = 1 Mbit/s, 2 = 2.5 Mbit/s
  std::uint16_t slot_time = 0;            // 4: BA slot time index 0..3
  std::uint16_t turnaround = 0;           // 6
  std::uint16_t silence = 0;              // 8
  std::uint16_t message_table_size = 0;   // 10
  std::uint16_t variable_table_size = 0;  // 12
  std::uint16_t ba_size = 0;              // 14: 0 = no bus arbitrator, else 1000-unit blocks
  std::uint16_t padding_identifier = 0;   // 16
  std::int32_t election_count = 0;        // 18
  std::int32_t start_delay = 0;           // 22
  std::uint8_t clock_multiplier = 0;      // 26
  std::uint8_t frame_type = 0;            // 27: 1 = WorldFIP frames
  std::uint16_t reserved_28 = 0;          // 28..33: carried unchanged
  std::uint16_t reserved_30 = 0;
  std::uint16_t reserved_32 = 0;

  friend bool operator==(const GENERAL_PARAM&, const GENERAL_PARAM&) = default;
};

void encode(const GENERAL_PARAM& param, std::span<std::uint8_t, GENERAL_PARAM::size> out);
void decode(std::span<const std::uint8_t, GENERAL_PARAM::size> in, GENERAL_PARAM& param);

// The parameters of a new configuration: 1 Mbit/s, priority 0, local address 0.
GENERAL_PARAM new_general_param();

// speed_constant for a bit rate index: 40, 64, 80; 0 for an index out of range.
std::uint16_t speed_constant(std::uint16_t speed);
// Sets the bit rate index and rewrites speed_constant with it.
void set_speed(GENERAL_PARAM& param, std::uint16_t speed);

inline constexpr int kMaxPriority = 15;

// ((priority + 1) * 256 + address) * 2 + 6, limited to 0xFFFF.
std::int32_t election_count(int priority, int local_address);

// The priority that an election count stands for, given the local station's physical address:
// (election_count - 2 * address - 518) as a signed 16-bit value, negative as 0, / 512, at most 15.
int priority_from_election(std::int32_t election_count, int local_address);

}  // namespace records
