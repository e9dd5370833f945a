#include "model/temporal_periods.h"

#include "model/ba_program.h"

namespace plandrel {

float LargestPeriodMs(const records::GENERAL_PARAM& param) {
  constexpr float kMaxUnits = 16383.0F;
  const std::uint16_t constant = param.speed_constant;
  if (constant != 40 && constant != 64 && constant != 80) return 0.0F;
  return BaTimeUnit(param.slot_time, constant) / 1000.0F * kMaxUnits;
}

}  // namespace plandrel
