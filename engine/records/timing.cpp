#include "records/timing.h"

namespace records {

std::optional<std::size_t> timing_index(const GENERAL_PARAM& param) {
  if (param.clock_multiplier > 1) return std::nullopt;
  const std::size_t index = std::size_t{param.speed} * 2 + param.clock_multiplier;
  if (index >= kTimingTable.size()) return std::nullopt;
  return index;
}

double turnaround_time_us(const GENERAL_PARAM& param, const TimingEntry& entry) {
  return param.turnaround * double{entry.turnaround_unit_us} + 1.25 * double{entry.bit_time_us};
}

double silence_time_us(const GENERAL_PARAM& param, const TimingEntry& entry) {
  return param.silence * double{entry.silence_unit_us} + double{entry.silence_offset_us};
}

double start_delay_ms(const GENERAL_PARAM& param, const TimingEntry& entry) {
  return param.silence * double{entry.silence_unit_us} * param.start_delay / 1000.0;
}

double election_time_ms(const GENERAL_PARAM& param, const TimingEntry& entry) {
  return param.silence * double{entry.silence_unit_us} * param.election_count / 1000.0;
}

}  // namespace records
