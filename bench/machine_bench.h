// Support shared by the benchmarks that run over the simulated machine.
#pragma once

#include <vector>

namespace bench {

// The median of a benchmark's repetitions (a statistic for ComputeStatistics), or of any other
// measurements; 0 when there are none.
double median(const std::vector<double>& values);

}  // namespace bench
