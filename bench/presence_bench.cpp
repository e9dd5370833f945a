// The station presence test: the scan's 256 presence reads (FIND_VAR_BY_ID and FIP_READ_VAR through
// the whole stack to the simulated PCI board, with the listening configuration downloaded and two
// stations present), reported beside the bus time the scan waits for; and the grid's repaint after
// the scan (256 address buttons given their result image, then the widgets painted). Run with
// QT_QPA_PLATFORM=offscreen where no display is at hand.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "base/machine_root.h"
#include "corvix.h"
#include "model/plandrel_doc.h"
#include "model/presence_configuration.h"
#include "online/ba_control.h"
#include "online/online_dialogs.h"
#include "online/presence_resources.h"
#include "online/presence_sta.h"
#include "sim/machine/machine.h"
#include "ui_bench_app.h"

namespace {

namespace fs = std::filesystem;

class QuietHost final : public plandrel::DocumentHost {
 public:
  plandrel::MessageAnswer ShowMessage(std::string_view, plandrel::MessageButtons, plandrel::MessageIcon) override {
    return plandrel::MessageAnswer::ok;
  }
  std::optional<plandrel::FileDialogResult> AskOpenPath(const plandrel::FileDialogRequest&) override { return {}; }
  std::optional<plandrel::FileDialogResult> AskSavePath(const plandrel::FileDialogRequest&) override { return {}; }
  void SetMainTitle(std::string_view) override {}
  void AddToRecentFiles(const fs::path&) override {}
};

// The working files of PCI board 1: the local station at address 1.
struct Configuration {
  Configuration() : folder(qbase::machineRoot() / "presence"), document((fs::create_directories(folder), host), folder, {1, 0}) {
    document.Records().stations[0] = records::make_station("Designer", 1);
    document.WriteAllWorkingFiles();
  }
  fs::path folder;
  QuietHost host;
  plandrel::CPlandrelDoc document;
};

void BM_ScanReads(benchmark::State& state) {
  sim::MachineDescription description = sim::defaultMachine();
  description.remoteStations = sim::exampleStations();  // R5 scans the presence of 5 and 6
  sim::Machine& machine = sim::bootMachine(description);
  Configuration configuration;
  plandrel::PresenceSettings settings;
  plandrel::WritePresenceConfiguration(plandrel::PresenceKind::listening, configuration.document.GetWorkingFiles(),
                                       configuration.folder, settings);
  const std::string file = plandrel::PresenceConfigurationPath(configuration.folder, plandrel::PresenceKind::listening).string();
  if (START_FIP_ENGINE(1, 0) != 0 || DOWNLOAD_CNF(file.c_str()) != 0 || START_COMMUNICATION() != 0) {
    state.SkipWithError("the listening configuration does not start on the PCI board");
    return;
  }
  machine.segment().run(1000000000);  // one second of the remote arbitrator's traffic
  const plandrel::PresenceEngine engine = plandrel::PresenceEngine::Corvix();
  std::array<std::uint8_t, 128> data{};
  int present = 0;
  for (auto _ : state) {
    present = 0;
    for (int a = 0; a < plandrel::kPhysicalAddresses; ++a) {
      if (a == settings.local_address) continue;
      const auto index = engine.find_variable(static_cast<std::uint16_t>(plandrel::kPresenceIdentifierBase + a));
      if (index && engine.read_variable(*index, data.data()) == 0) ++present;
    }
  }
  STOP_FIP_ENGINE();
  sim::shutdownMachine();
  plandrel::TimingTable timing;
  timing.Fill();
  const records::GENERAL_PARAM& param = configuration.document.Records().param;
  state.counters["present"] = present;
  // What the scan waits on the bus in the arbitrating mode: 500 ms twice, W and S.
  state.counters["bus_wait_ms"] =
      1000.0 + plandrel::BaStartWait(param, timing) + plandrel::PresenceScanWait(param, timing);
}
BENCHMARK(BM_ScanReads)->Unit(benchmark::kMillisecond);

class NoEngineHost final : public plandrel::PresenceHost {
 public:
  void SetPresenceTestOpen(bool) override {}
};

class NoWait final : public plandrel::PresenceClock {
 public:
  std::uint32_t NowMs() override { return 0; }
  void Wait(std::uint32_t) override {}
};

// A board whose arbitrator meets another one: the detection succeeds without a machine.
plandrel::PresenceEngine ListeningBoard() {
  plandrel::PresenceEngine e;
  e.start_engine = [](std::uint16_t, std::uint32_t) { return 0u; };
  e.stop_engine = [] { return 0u; };
  e.download = [](const char*) { return 0u; };
  e.start_communication = [] { return 0u; };
  e.medium_control = [](std::uint8_t, std::uint8_t* status) {
    *status = 0x03;
    return 0u;
  };
  e.ba.report = [started = false](std::uint8_t* state) mutable {
    *state = started ? plandrel::kBaIdle : plandrel::kBaStopped;
    started = true;
    return 0u;
  };
  e.ba.start = [](std::uint16_t) { return 0u; };
  e.ba.stop = [] { return 0u; };
  e.find_variable = [](std::uint16_t) { return std::optional<std::uint16_t>(); };
  return e;
}

void BM_GridRepaint(benchmark::State& state) {
  Configuration configuration;
  NoEngineHost host;
  NoWait clock;
  plandrel::TimingTable timing;
  timing.Fill();
  plandrel::CPresenceSta dialog(host, configuration.document, timing, nullptr, ListeningBoard(), clock);
  dialog.Create(plandrel::IDD_PRESENCE_STA);
  dialog.ShowWindow(SW_SHOW);
  QCoreApplication::processEvents();
  if (!dialog.HasGrid()) {
    state.SkipWithError("no grid");
    return;
  }
  for (auto _ : state) {
    dialog.ShowResults();
    QCoreApplication::processEvents();
  }
  dialog.DestroyWindow();
}
BENCHMARK(BM_GridRepaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  // The machine lives in a temporary root, so that the user's machine is untouched.
  std::string root = (fs::temp_directory_path() / "quorelle-bench-XXXXXX").string();
  if (!mkdtemp(root.data())) return 2;
  setenv("QUORELLE_MACHINE_ROOT", root.c_str(), 1);
  qbase::setMachineRoot(root);
  bench::RunUiBenchmarks(argc, argv, [] {
    plandrel::RegisterOnlineDialogs();
    benchmark::RunSpecifiedBenchmarks();
  });
  std::error_code ignored;
  fs::remove_all(root, ignored);
  return 0;
}
