// One pass of the designer's session thread over 1000 consumed variables, on line with the real
// engine on the simulated machine: a remote station produces all of them with counters, so that
// every pass finds new values and sets every tree text again. Each iteration is one pass; its time
// is the pass's own (the 100 ms wait excluded). The counters give the pass's parts in milliseconds;
// tree_ms is the main thread's share (the tree texts set, on the main thread, in one batch).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "frame_commands.h"
#include "frame_resources.h"
#include "machine_bench.h"
#include "main_frame.h"
#include "online/online_session.h"
#include "plandrel_app.h"
#include "records/atomic_file.h"
#include "records/byte_codec.h"
#include "records/config_format.h"
#include "records/configuration.h"
#include "session_host_app.h"
#include "sim/machine/machine.h"
#include "ui/testing.h"

namespace {

constexpr std::size_t kVariables = 1000;
constexpr std::uint16_t kFirstIdentifier = 0x1000;

records::Configuration ThousandConsumed() {
  records::Configuration n = records::new_configuration();
  n.station_count = 2;
  n.stations[0] = records::make_station("Designer", 1);
  n.stations[1] = records::make_station("Producer", 7);
  n.param.ba_size = 0;
  for (std::size_t i = 0; i < kVariables; ++i) {
    records::VARIABLE4 v;
    records::set_text(v.name, "V" + std::to_string(i));
    records::set_text(v.format, "%u");
    v.identifier = static_cast<std::uint16_t>(kFirstIdentifier + i);
    v.pdu_type = 0x40;
    v.length = 2;
    v.channel = -1;
    v.field_74 = 1;
    v.producer = 1;
    records::set_consumer(v, 0, true);
    v.consumer_count = 1;
    v.direction = 1;
    n.variables.push_back(v);
  }
  records::size_tables(n, 1);
  n.param.ba_size = 0;
  records::renumber_keys(n);
  return n;
}

sim::MachineDescription ProducerMachine() {
  sim::MachineDescription d = sim::defaultMachine();
  sim::RemoteStationConfig producer;
  producer.name = "Producer";
  producer.address = 7;
  for (std::size_t i = 0; i < kVariables; ++i) {
    const auto identifier = static_cast<std::uint16_t>(kFirstIdentifier + i);
    producer.produces.push_back({.identifier = identifier,
                                 .length = 2,
                                 .pduType = 0x40,
                                 .generator = {.kind = sim::ValueGenerator::Kind::Counter, .start = i, .step = 1}});
    char line[16];
    std::snprintf(line, sizeof line, "ID_DAT(%X)", identifier);
    producer.arbitratorProgram.push_back(line);
  }
  d.remoteStations = {producer};
  d.pacedSegment = true;
  return d;
}

void Pump() {
  MSG msg;
  while (PeekMessage(&msg, nullptr, 0, 0, PM_REMOVE))
    if (msg.message != WM_QUIT) DispatchMessage(&msg);
}

void sessionPass(benchmark::State& state) {
  qui::testing::ScriptedPrompts prompts;
  const std::filesystem::path folder = std::filesystem::path(std::getenv("QUORELLE_MACHINE_ROOT")) / "designer";
  std::filesystem::create_directories(folder);
  setenv("XDG_DATA_HOME", folder.c_str(), 1);
  plandrel::RegisterFrameResources();
  sim::bootMachine(ProducerMachine());
  auto app = std::make_unique<plandrel::CPlandrelApp>();
  app->SetBoardSelection([](plandrel::SelectedDevice& device) {
    device = plandrel::SelectedDevice{1, plandrel::kBoardTypePci};
    return IDOK;
  });
  plandrel::InstallSessionFactory(*app);
  const std::filesystem::path file = folder / "thousand.cnf";
  if (!app->InitInstance() || !records::write_file_atomically(file, records::encode_format4(ThousandConsumed())) ||
      !app->OpenDocumentFile(file.c_str())) {
    state.SkipWithError("the designer does not start");
    return;
  }
  app->MainFrame()->RunCommand(plandrel::kCmdConnect);
  auto* session = dynamic_cast<plandrel::CFipSession*>(app->Session());
  if (session == nullptr || !app->IsOnline()) {
    state.SkipWithError("the session does not connect");
    return;
  }

  const auto next_pass = [&](std::uint64_t after) {
    for (;;) {
      Pump();
      const plandrel::SessionPassTimes times = session->PassTimes();
      if (times.passes > after) return times;
      WaitMessageTimeout(1);
    }
  };
  plandrel::SessionPassTimes pass = next_pass(1);  // the first passes see the first values
  double supervision = 0, reads = 0, tree = 0, events = 0, requests = 0, total = 0, texts = 0;
  for (auto _ : state) {
    pass = next_pass(pass.passes);
    state.SetIterationTime(static_cast<double>(pass.total) / 1e6);
    supervision += pass.supervision;
    reads += pass.variable_reads;
    tree += pass.tree_texts;
    events += pass.events;
    requests += pass.requests;
    total += pass.total;
    texts += static_cast<double>(pass.texts_set);
  }
  const double n = static_cast<double>(state.iterations()) * 1000.0;
  state.counters["supervision_ms"] = supervision / n;
  state.counters["reads_ms"] = reads / n;
  state.counters["tree_ms"] = tree / n;
  state.counters["events_ms"] = events / n;
  state.counters["requests_ms"] = requests / n;
  state.counters["pass_ms"] = total / n;
  state.counters["texts_per_pass"] = texts / static_cast<double>(state.iterations());

  app->MainFrame()->RunCommand(plandrel::kCmdDisconnect);
  while (app->Session() != nullptr) {
    Pump();
    WaitMessageTimeout(1);
  }
  app->ExitInstance();
  Pump();
  app.reset();
  sim::shutdownMachine();
}

BENCHMARK(sessionPass)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

}  // namespace
