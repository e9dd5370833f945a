// One SPX_FIP_READ_VAR relayed through the bus viewer's worker against the direct FIP_READ_VAR,
// on the same board (the machine's PC104 board, which admits a handle for each) in the same run.
// Each iteration makes one call of each, timed one by one; the counters give the medians of the
// single calls and what the relay adds to the median.
//
// relayedReadVar: the PC104 slot alone. relayedReadVarBesideSlots: the standard machine (its
// segment following the wall clock), with the PCI, PC104 and USB slots started and loaded with the
// example configuration, as an application watching several boards has them; the other slots stay
// idle. Its argument 1 keeps every core busy with spinning threads meanwhile.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

#include "corvix.h"
#include "machine_bench.h"
#include "sim/machine/machine.h"
#include "spectrel.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kPci = 0, kPc104 = 1, kUsb = 2;

// Threads that keep every core busy while they live.
class BusyCores {
public:
    explicit BusyCores(bool on) {
        if (!on) return;
        for (unsigned i = 0; i < std::max(1u, std::thread::hardware_concurrency()); ++i)
            threads_.emplace_back([this] {
                while (!stop_.load(std::memory_order_relaxed)) benchmark::ClobberMemory();
            });
    }
    ~BusyCores() {
        stop_ = true;
        for (std::thread& t : threads_) t.join();
    }

private:
    std::atomic<bool> stop_{false};
    std::vector<std::thread> threads_;
};

// Times the direct and the relayed read of variable 0 on the PC104 board, started on this thread
// and in `slot`.
void timeReads(benchmark::State& state, sim::Machine& machine, std::int32_t slot) {
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
}

void relayedReadVar(benchmark::State& state) {
    sim::Machine& machine = sim::bootMachine(sim::defaultMachine());
    std::int32_t slot = -1;
    if (START_FIP_ENGINE(1, kPc104) != 0 || SPX_START_FIP_ENGINE(1, kPc104, &slot, nullptr, 0, nullptr) != 0) {
        state.SkipWithError("the engine does not start on the default machine's PC104 board");
        return;
    }
    timeReads(state, machine, slot);
    SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr);
    STOP_FIP_ENGINE();
    sim::shutdownMachine();
}

void relayedReadVarBesideSlots(benchmark::State& state) {
    sim::Machine& machine = sim::bootMachine(sim::standardMachine());
    std::vector<std::int32_t> slots;
    std::int32_t pc104Slot = -1;
    for (const std::uint32_t type : {kPci, kPc104, kUsb}) {
        std::int32_t slot = -1;
        if (SPX_START_FIP_ENGINE(1, type, &slot, nullptr, 0, nullptr) != 0 ||
            SPX_DOWNLOAD_CNF(slot, QUORELLE_EXAMPLE_CNF, nullptr, 0, nullptr) != 0) {
            state.SkipWithError("a board of the standard machine does not start and load");
            break;
        }
        slots.push_back(slot);
        if (type == kPc104) pc104Slot = slot;
    }
    if (slots.size() == 3 && START_FIP_ENGINE(1, kPc104) != 0) state.SkipWithError("the engine does not start on the PC104 board");
    if (!state.error_occurred()) {
        const BusyCores busy(state.range(0) != 0);
        timeReads(state, machine, pc104Slot);
        STOP_FIP_ENGINE();
    }
    for (const std::int32_t slot : slots) SPX_STOP_FIP_ENGINE(slot, nullptr, 0, nullptr);
    sim::shutdownMachine();
}

BENCHMARK(relayedReadVar)->ComputeStatistics("median", bench::median);
BENCHMARK(relayedReadVarBesideSlots)->ArgName("busy")->Arg(0)->Arg(1)->ComputeStatistics("median", bench::median);

}  // namespace
