// The timed loop of the FIP_READ_VAR benchmarks, shared by the board paths they measure.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <cstddef>
#include <cstdint>

#include "corvix.h"

namespace bench {

// Reads variable 0 (`size` bytes) of the started engine once per iteration; a failed read ends
// the benchmark with an error.
inline void readVarLoop(benchmark::State& state, std::size_t size) {
    std::array<std::uint8_t, 128> data{};
    std::uint8_t status = 0;
    for (auto _ : state) {
        if (FIP_READ_VAR(0, data.data(), &status) != 0) {
            state.SkipWithError("FIP_READ_VAR failed");
            break;
        }
        benchmark::DoNotOptimize(data);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * size));
}

}  // namespace bench
