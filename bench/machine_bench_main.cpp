// Benchmark main: the machine lives in a temporary root, as in the tests, so that the user's
// machine is untouched.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/machine_root.h"
#include "machine_bench.h"

double bench::median(const std::vector<double>& values) {
    if (values.empty()) return 0;
    std::vector<double> sorted = values;
    std::sort(sorted.begin(), sorted.end());
    return sorted[sorted.size() / 2];
}

int main(int argc, char** argv) {
    std::string pattern = (std::filesystem::temp_directory_path() / "quorelle-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data())) return 2;
    setenv("QUORELLE_MACHINE_ROOT", pattern.c_str(), 1);
    qbase::setMachineRoot(pattern);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}
