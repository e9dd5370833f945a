// TimingTable: the timing bounds and units per bit rate and clock multiplier, indexed by
// speed x 2 + clock_multiplier of GENERAL_PARAM. The application fills it at start-up; the general
// settings, the BA program editor and the on-line bus arbitrator control read it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "records/general_param.h"
#include "records/timing.h"

namespace plandrel {

struct TimingTable {
  static constexpr std::size_t kEntries = 6;
  // Rows of bytes: minimum silence, maximum silence, minimum turnaround, maximum turnaround.
  enum ByteRow : std::size_t { kMinSilence, kMaxSilence, kMinTurnaround, kMaxTurnaround };
  // Rows of floats (µs): silence unit, silence offset, turnaround unit, bit time.
  enum FloatRow : std::size_t { kSilenceUnit, kSilenceOffset, kTurnaroundUnit, kBitTime };

  std::array<std::array<std::uint8_t, kEntries>, 4> bytes{};
  std::array<std::array<float, kEntries>, 4> floats{};

  // Fills both halves with the bounds and units of every bit rate.
  void Fill();

  // The entry of a parameter block. Its speed and clock multiplier come from a file, so an index
  // outside the table gives the entry of a new configuration's bit rate (1 Mbit/s, no clock
  // multiplier) instead of reading past the table.
  static std::size_t Index(const records::GENERAL_PARAM& param);
  records::TimingEntry Entry(std::size_t index) const;  // index held to the table
  records::TimingEntry Entry(const records::GENERAL_PARAM& param) const {
    return Entry(Index(param));
  }
};

}  // namespace plandrel
