// A macrocycle of 100 variables at 2.5 Mbit/s on the simulated segment: a board arbitrates and
// consumes 100 identifiers of 8 bytes that a remote station produces with counters, and a second
// board consumes them too. "speedup" is simulated bus time per wall time.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "sim/segment/segment.h"
#include "sim/segment/tests/card_image.h"

namespace {

constexpr int kVariables = 100;
constexpr sim::Nanoseconds kSlice = 10000000;  // bus time per iteration: 10 ms

void SegmentMacrocycle(benchmark::State& state) {
    sim::testing::ImageLayout layout;
    layout.bus = {sim::BitRate::k2M5, false, 10, 5, 0, true};
    sim::RemoteStationConfig remote;
    std::vector<std::string> program;
    for (int i = 0; i < kVariables; ++i) {
        const auto id = static_cast<std::uint16_t>(0x1000 + i);
        layout.variables.push_back({.identifier = id, .produced = false, .length = 8});
        remote.produces.push_back({.identifier = id, .length = 8, .generator = {.kind = sim::ValueGenerator::Kind::Counter}});
        char line[16];
        std::snprintf(line, sizeof line, "ID_DAT(%X)", id);
        program.emplace_back(line);
    }
    sim::CardModel arbitrator, listener;
    sim::testing::writeImage(listener, layout);
    layout.program = sim::programWords(program);
    sim::testing::writeImage(arbitrator, layout);
    sim::Segment segment;
    for (sim::CardModel* card : {&arbitrator, &listener}) {
        sim::testing::startCircuit(*card);
        segment.attachBoard(*card);
    }
    segment.addRemoteStation(remote);
    sim::testing::startBa(arbitrator);
    segment.run(1);

    const sim::Nanoseconds start = segment.now();
    const std::uint64_t cycles = segment.counters().macrocycles;
    for (auto _ : state) segment.run(kSlice);
    const auto simulated = static_cast<double>(segment.now() - start);
    const auto macrocycles = static_cast<double>(segment.counters().macrocycles - cycles);
    state.counters["bus_us_per_macrocycle"] = macrocycles > 0 ? simulated / 1000.0 / macrocycles : 0;
    state.counters["speedup"] = benchmark::Counter(simulated * 1e-9, benchmark::Counter::kIsRate);
}
BENCHMARK(SegmentMacrocycle);

}  // namespace

BENCHMARK_MAIN();
