// The variables display's snapshot of 4095 on-line variables of 16 bytes, each holding a value
// written through the real engine on the simulated machine: the time of one snapshot of them all
// and the longest time csEngine is held at a stretch in each snapshot (counters: its median, 99th
// percentile and maximum over the iterations; the maximum shows the machine's preemptions). A
// configuration of 4095 variables does not download (the engine refuses a table of 4096, and the
// card memory is full past 1023 variables of 16 bytes), so the 4095 on-line objects share 1023
// engine variables, each object with a value and a snapshot of its own.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "base/machine_root.h"
#include "corvix.h"
#include "online/critical_section_lock.h"
#include "online/online_variable.h"
#include "online_fakes.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/configuration.h"
#include "sim/machine/machine.h"

namespace {

constexpr std::size_t kVariables = 4095;
constexpr std::size_t kEngineVariables = 1023;
constexpr std::uint16_t kLength = 16;

records::Configuration ProducedVariables() {
  records::Configuration c = records::new_configuration();
  for (std::size_t i = 0; i < kEngineVariables; ++i) {
    records::VARIABLE4 v;
    v.identifier = static_cast<std::uint16_t>(0x100 + i);
    records::set_text(v.name, "V" + std::to_string(i));
    records::set_text(v.format, "%16h");
    v.direction = 0;
    v.length = kLength;
    v.pdu_type = 0x40;
    v.channel = -1;
    v.field_74 = 1;
    v.producer = 0;
    c.variables.push_back(v);
  }
  records::size_tables(c, 1);
  records::renumber_keys(c);
  return c;
}

void BM_Snapshot4095Variables(benchmark::State& state) {
  sim::bootMachine(sim::defaultMachine());
  const records::Configuration config = ProducedVariables();
  const std::filesystem::path file = qbase::machineRoot() / "trv";
  std::uint32_t code = records::write_file_atomically(file, records::encode_format4(config)) ? 0 : 1;
  if (code == 0) code = START_FIP_ENGINE(1, 0);
  if (code == 0) code = DOWNLOAD_CNF(file.string().c_str());
  if (code == 0) code = START_COMMUNICATION();
  if (code != 0) {
    char text[64];
    std::snprintf(text, sizeof text, "the configuration does not go on line: 0x%X", code);
    state.SkipWithError(text);
    sim::shutdownMachine();
    return;
  }
  CRITICAL_SECTION section;
  InitializeCriticalSection(&section);
  plandrel::CriticalSectionLock engine(section);
  plandrel::testing::TestLocks others;
  const plandrel::OnlineLocks locks{engine,
                                    others.variable_format,
                                    others.message_format,
                                    others.variable_dialog,
                                    others.message_dialog,
                                    others.message_stack,
                                    others.ba_dialog};
  plandrel::testing::FakeFrame frame(config);
  std::vector<std::unique_ptr<plandrel::OnlineVariable>> variables;
  for (std::size_t i = 0; i < kVariables; ++i) {
    auto variable = std::make_unique<plandrel::OnlineVariable>(frame, locks);
    char value[64];
    std::snprintf(value, sizeof value, "%zX 1 2 3 4 5 6 7 8 9 A B C D E F", i & 0xFF);
    const std::size_t shared = i % kEngineVariables;
    if (!variable->Init(config.variables[shared], static_cast<std::uint16_t>(shared), config.local_station) ||
        variable->Write("%16h", value) != plandrel::kCheckOk) {
      state.SkipWithError("a variable cannot be written");
      break;
    }
    variables.push_back(std::move(variable));
  }
  std::vector<double> holds;
  if (variables.size() == kVariables) {
    for (auto _ : state) holds.push_back(static_cast<double>(plandrel::TakeSnapshots(variables, engine)) / 1000.0);
  }
  std::sort(holds.begin(), holds.end());
  if (!holds.empty()) {
    state.counters["hold_median_us"] = holds[holds.size() / 2];
    state.counters["hold_p99_us"] = holds[holds.size() * 99 / 100];
    state.counters["hold_max_us"] = holds.back();
  }
  state.counters["variables"] = static_cast<double>(variables.size());
  variables.clear();
  DeleteCriticalSection(&section);
  STOP_FIP_ENGINE();
  sim::shutdownMachine();
}
BENCHMARK(BM_Snapshot4095Variables)->Unit(benchmark::kMicrosecond);

}  // namespace
