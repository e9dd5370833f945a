// Support shared by the benchmarks that run over the simulated machine.
#pragma once

#include <vector>

namespace bench {

// The median of a benchmark's repetitions (a statistic for ComputeStatistics).
double median(const std::vector<double>& values);

}  // namespace bench
