// One SPX_FIP_READ_VAR relayed through the bus viewer's worker against the direct FIP_READ_VAR,
// on the same board (the machine's PC104 board, which admits a handle for each) in the same run.
// Each iteration makes one call of each, timed one by one; the counters give the medians of the
// single calls and what the relay adds to the median.
#include <benchmark/benchmark.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

#include "corvix.h"
#include "machine_bench.h"
#include "sim/machine/machine.h"
#include "spectrel.h"

namespace {

using Clock = std::chrono::steady_clock;

void relayedReadVar(benchmark::State& state) {
    sim::Machine& machine = sim::bootMachine(sim::defaultMachine());
    std::int32_t slot = -1;
    if (START_FIP_ENGINE(1, 1) != 0 || SPX_START_FIP_ENGINE(1, 1, &slot, nullptr, 0, nullptr) != 0) {
        state.SkipWithError("the engine does not start on the default machine's PC104 board");
        return;
    }
    machine.pc104Board(0).card().setVariableValue(0, std::vector<std::uint8_t>(8, 0x5A));
    std::array<std::uint8_t, 128> data{};
    std::uint8_t status = 0;
    std::vector<double> direct, relayed;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        const std::uint32_t directResult = FIP_READ_VAR(0, data.data(), &status);
        const auto t1 = Clock::now();
        const std::uint32_t relayedResult = SPX_FIP_READ_VAR(slot, 0, data.data(), &status, nullptr, 0, nullptr);
        const auto t2 = Clock::now();
        if (directResult != 0 || relayedResult != 0) {
            state.SkipWithError("FIP_READ_VAR failed");
            break;
        }
        benchmark::DoNotOptimize(data);
        direct.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        relayed.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    const double directMedian = bench::median(direct);
    const double relayedMedian = bench::median(relayed);
    state.counters["direct_median_us"] = directMedian;
    state.counters["relayed_median_us"] = relayedMedian;
    state.counters["added_median_us"] = relayedMedian - directMedian;
    SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr);
    STOP_FIP_ENGINE();
    sim::shutdownMachine();
}

BENCHMARK(relayedReadVar)->ComputeStatistics("median", bench::median);

}  // namespace
