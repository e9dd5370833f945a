// The bound of a variable's refreshment and promptness periods: 16383 bus arbitrator time units.
#pragma once

#include "records/general_param.h"

namespace plandrel {

// The largest period in ms, u x 16383 in single precision, with u the BaTimeUnit of the slot-time
// index in ms. The unit is 0 for a slot index outside 0..3 and for a speed constant other than 40,
// 64 or 80 (a damaged file's), so that every positive period is then refused.
float LargestPeriodMs(const records::GENERAL_PARAM& param);

}  // namespace plandrel
