#include "model/temporal_periods.h"

#include <array>

namespace plandrel {

float LargestPeriodMs(const records::GENERAL_PARAM& param) {
  constexpr std::array<float, 4> kSlotTimes = {4000.0F, 16000.0F, 40000.0F, 160000.0F};
  constexpr float kMaxUnits = 16383.0F;
  const std::uint16_t constant = param.speed_constant;
  if (param.slot_time >= kSlotTimes.size() || (constant != 40 && constant != 64 && constant != 80)) return 0.0F;
  const float unit_ms = kSlotTimes[param.slot_time] / static_cast<float>(constant) / 1000.0F;
  return unit_ms * kMaxUnits;
}

}  // namespace plandrel
