// The designer's session on line with the real engine on the simulated machine.
//
// sessionPass: one pass of the session thread over 1000 consumed variables: a remote station
// produces all of them with counters, so that every pass finds new values and sets every tree text
// again. Each iteration is one pass; its time is the pass's own (the 100 ms wait excluded). The
// counters give the pass's parts in milliseconds; tree_ms is the main thread's share (the tree texts
// set, on the main thread, in one batch).
//
// connect: the Connect command over n consumed variables (engine start, download, the on-line
// objects with their look-ups, the menus, the thread started); each iteration one Connect, the
// Disconnect between them not timed.
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

constexpr std::size_t kPassVariables = 1000;
constexpr std::uint16_t kFirstIdentifier = 0x1000;

// The designer (station 0) consumes `count` variables that station 1 produces.
records::Configuration Consumed(std::size_t count) {
  records::Configuration n = records::new_configuration();
  n.station_count = 2;
  n.stations[0] = records::make_station("Designer", 1);
  n.stations[1] = records::make_station("Producer", 7);
  n.param.ba_size = 0;
  for (std::size_t i = 0; i < count; ++i) {
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

// A remote station that produces the first `count` variables of Consumed, with counters.
sim::MachineDescription ProducerMachine(std::size_t count) {
  sim::MachineDescription d = sim::defaultMachine();
  sim::RemoteStationConfig producer;
  producer.name = "Producer";
  producer.address = 7;
  for (std::size_t i = 0; i < count; ++i) {
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

// The designer on the booted machine with `configuration` open, off line.
class Designer {
 public:
  Designer(const sim::MachineDescription& machine, const records::Configuration& configuration) {
    const std::filesystem::path folder = std::filesystem::path(std::getenv("QUORELLE_MACHINE_ROOT")) / "designer";
    std::filesystem::create_directories(folder);
    setenv("XDG_DATA_HOME", folder.c_str(), 1);
    plandrel::RegisterFrameResources();
    sim::bootMachine(machine);
    app_ = std::make_unique<plandrel::CPlandrelApp>();
    app_->SetBoardSelection([](plandrel::SelectedDevice& device) {
      device = plandrel::SelectedDevice{1, plandrel::kBoardTypePci};
      return IDOK;
    });
    plandrel::InstallSessionFactory(*app_);
    const std::filesystem::path file = folder / "network.cnf";
    ready_ = app_->InitInstance() && records::write_file_atomically(file, records::encode_format4(configuration)) &&
             app_->OpenDocumentFile(file.c_str());
  }
  ~Designer() {
    Disconnect();
    app_->ExitInstance();
    Pump();
    app_.reset();
    sim::shutdownMachine();
  }

  bool Ready() const { return ready_; }
  // The session when on line, else null.
  plandrel::CFipSession* Connect() {
    app_->MainFrame()->RunCommand(plandrel::kCmdConnect);
    auto* session = dynamic_cast<plandrel::CFipSession*>(app_->Session());
    return session != nullptr && app_->IsOnline() ? session : nullptr;
  }
  void Disconnect() {
    if (app_->Session() == nullptr) return;
    app_->MainFrame()->RunCommand(plandrel::kCmdDisconnect);
    while (app_->Session() != nullptr) {
      Pump();
      WaitMessageTimeout(1);
    }
  }

 private:
  qui::testing::ScriptedPrompts prompts_;
  std::unique_ptr<plandrel::CPlandrelApp> app_;
  bool ready_ = false;
};

void sessionPass(benchmark::State& state) {
  Designer designer(ProducerMachine(kPassVariables), Consumed(kPassVariables));
  if (!designer.Ready()) {
    state.SkipWithError("the designer does not start");
    return;
  }
  plandrel::CFipSession* session = designer.Connect();
  if (session == nullptr) {
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
}

BENCHMARK(sessionPass)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(30);

void connect(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  Designer designer(sim::defaultMachine(), Consumed(count));
  if (!designer.Ready()) {
    state.SkipWithError("the designer does not start");
    return;
  }
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool online = designer.Connect() != nullptr;
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    if (!online) {
      state.SkipWithError("the session does not connect");
      return;
    }
    designer.Disconnect();
  }
  state.counters["variables"] = static_cast<double>(count);
}

BENCHMARK(connect)->Arg(500)->Arg(2000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace
