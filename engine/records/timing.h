// The times that the general settings show from the counts of GENERAL_PARAM, per timing entry.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "records/general_param.h"

namespace records {

struct TimingEntry {
  std::uint8_t min_silence;
  std::uint8_t max_silence;
  std::uint8_t min_turnaround;
  std::uint8_t max_turnaround;
  float silence_unit_us;
  float silence_offset_us;
  float turnaround_unit_us;
  float bit_time_us;
};

// Bounds and units per bit rate and clock multiplier, at index speed * 2 + clock_multiplier.
inline constexpr std::array<TimingEntry, 6> kTimingTable{{
    {4, 63, 3, 63, 1024.0F, 64.0F, 128.0F, 32.0F},  // 31.25 kbit/s
    {4, 63, 3, 63, 1024.0F, 64.0F, 128.0F, 32.0F},  // 31.25 kbit/s, clock multiplier
    {6, 63, 14, 63, 5.0F, 40.0F, 0.625F, 1.0F},     // 1 Mbit/s
    {4, 63, 3, 63, 32.0F, 40.0F, 4.0F, 1.0F},       // 1 Mbit/s, clock multiplier
    {5, 63, 10, 63, 12.8F, 32.0F, 1.6F, 0.4F},      // 2.5 Mbit/s
    {5, 63, 10, 63, 12.8F, 32.0F, 1.6F, 0.4F},      // 2.5 Mbit/s, clock multiplier
}};

// Entry at speed * 2 + clock_multiplier: none when a damaged record names a bit rate or clock
// multiplier that does not exist.
std::optional<std::size_t> timing_index(const GENERAL_PARAM& param);

// turnaround x turnaround unit + 1.25 x bit time
double turnaround_time_us(const GENERAL_PARAM& param, const TimingEntry& entry);
// silence x silence unit + silence offset
double silence_time_us(const GENERAL_PARAM& param, const TimingEntry& entry);
// silence x silence unit x start_delay / 1000
double start_delay_ms(const GENERAL_PARAM& param, const TimingEntry& entry);
// silence x silence unit x election_count / 1000
double election_time_ms(const GENERAL_PARAM& param, const TimingEntry& entry);

}  // namespace records
