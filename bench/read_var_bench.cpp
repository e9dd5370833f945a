// FIP_READ_VAR through the whole stack: engine, request seam, I/O manager, the PCI driver's
// FULLFIP2 transaction and the simulated controller and card.
#include <benchmark/benchmark.h>


#include <cstdint>
#include <string>
#include <vector>

#include "corvix.h"
#include "machine_bench.h"
#include "read_var_loop.h"
#include "sim/machine/machine.h"

namespace {

void readVar(benchmark::State& state) {
    const auto size = static_cast<std::size_t>(state.range(0));
    sim::Machine& machine = sim::bootMachine(sim::defaultMachine());
    if (START_FIP_ENGINE(1, 0) != 0) {
        state.SkipWithError("the engine does not start on the default machine's PCI board");
        return;
    }
    machine.pciBoard(0).card().setVariableValue(0, std::vector<std::uint8_t>(size, 0x5A));
    bench::readVarLoop(state, size);
    STOP_FIP_ENGINE();
    sim::shutdownMachine();
}

BENCHMARK(readVar)->Arg(2)->Arg(128)->ComputeStatistics("median", bench::median);

}  // namespace
