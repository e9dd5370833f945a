#include "model/timing_table.h"

#include <algorithm>

namespace plandrel {

namespace {
constexpr std::size_t kNewConfigurationEntry = 2;  // 1 Mbit/s, no clock multiplier
}

void TimingTable::Fill() {
  for (std::size_t i = 0; i < kEntries; ++i) {
    const records::TimingEntry& e = records::kTimingTable[i];
    bytes[kMinSilence][i] = e.min_silence;
    bytes[kMaxSilence][i] = e.max_silence;
    bytes[kMinTurnaround][i] = e.min_turnaround;
    bytes[kMaxTurnaround][i] = e.max_turnaround;
    floats[kSilenceUnit][i] = e.silence_unit_us;
    floats[kSilenceOffset][i] = e.silence_offset_us;
    floats[kTurnaroundUnit][i] = e.turnaround_unit_us;
    floats[kBitTime][i] = e.bit_time_us;
  }
}

std::size_t TimingTable::Index(const records::GENERAL_PARAM& param) {
  return records::timing_index(param).value_or(kNewConfigurationEntry);
}

records::TimingEntry TimingTable::Entry(std::size_t index) const {
  const std::size_t i = std::min(index, kEntries - 1);
  return {bytes[kMinSilence][i],      bytes[kMaxSilence][i],   bytes[kMinTurnaround][i],
          bytes[kMaxTurnaround][i],   floats[kSilenceUnit][i], floats[kSilenceOffset][i],
          floats[kTurnaroundUnit][i], floats[kBitTime][i]};
}

}  // namespace plandrel
