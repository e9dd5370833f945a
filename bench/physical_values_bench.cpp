// The variables display on the main thread, with its widget: 1000 entries (numbers, texts and
// labels, a group every 50) over 4095 variables of 16 bytes. A rebuild; an update pass when no
// value changed; an update pass when every value changed (the variables' bytes swap between two
// sets). Each iteration is the WM_FIP_VALUES_REFRESH handler followed by the widget catching up in
// the event loop (counter handler_ms: the handler alone). Run with QT_QPA_PLATFORM=offscreen where
// no display is at hand.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "online/designer_messages.h"
#include "online/physical_values.h"
#include "ui/testing.h"
#include "ui_bench_app.h"

namespace {

constexpr std::size_t kVariables = 4095;
constexpr std::size_t kEntries = 1000;
constexpr std::uint16_t kLength = 16;

class BenchHost final : public plandrel::ValuesDisplayHost {
 public:
  BenchHost() {
    frame.Create(nullptr, "", WS_CHILD, CRect(0, 0, 1200, 900), nullptr, 0);
    for (std::size_t set = 0; set < 2; ++set) {
      values[set].resize(kVariables);
      for (std::size_t i = 0; i < kVariables; ++i) {
        values[set][i].resize(kLength);
        for (std::size_t b = 0; b < kLength; ++b)
          values[set][i][b] = static_cast<std::uint8_t>('A' + (i + b) % 26) ^ (set ? 0x21 : 0);
      }
    }
  }
  CWnd* FrameWindow() override { return &frame; }
  std::string CsvPath() override { return csv; }
  void OpenCsv() override {}
  void SetRefreshPeriod(int) override {}
  int RefreshPeriod() const override { return 1000; }
  // The display's own thread stays idle: the benchmark sends the refreshes.
  void SetRefreshTarget(HWND) override {}
  HWND RefreshTarget() override { return nullptr; }
  void SnapshotVariables() override {}
  std::vector<plandrel::PageVariable> Variables() override {
    std::vector<plandrel::PageVariable> list;
    list.reserve(kVariables);
    for (std::size_t i = 0; i < kVariables; ++i)
      list.push_back({static_cast<std::uint16_t>(0x100 + i), kLength, &values[set][i]});
    return list;
  }
  void DisplayDestroyed(plandrel::CPhysicalValues&) override {}

  CWnd frame;
  std::string csv;
  std::vector<std::vector<std::uint8_t>> values[2];
  std::size_t set = 0;
};

std::string InterpretationFile() {
  std::string text = "NB_AFF;1000;\r\n";
  char line[128];
  for (std::size_t i = 0; i < kEntries; ++i) {
    if (i % 50 == 0) text += "gpe;Group " + std::to_string(i / 50) + ";\r\nsl;\r\n";
    const unsigned identifier = 0x100 + static_cast<unsigned>(i * 4 % kVariables);
    if (i % 7 == 5) std::snprintf(line, sizeof line, "txt;%X;Text%zu;2;8;;\r\n", identifier, i);
    else if (i % 7 == 6) std::snprintf(line, sizeof line, "enum;%X;Mode%zu;14;2;LSB;4;Off;On;Fault;Test;\r\n", identifier, i);
    else std::snprintf(line, sizeof line, "c;%X;Value%zu;km/h;%zu;16;-5;0.01;%s;\r\n", identifier, i, (i % 8) * 8, i % 2 ? "LSB" : "MSB");
    text += line;
  }
  return text;
}

struct Display {
  Display() {
    host.csv = (std::filesystem::temp_directory_path() / "plandrel_physical_values_bench.csv").string();
    std::ofstream(host.csv, std::ios::binary) << InterpretationFile();
    display = new plandrel::CPhysicalValues(host);
    display->Create(plandrel::IDD_PHYSICAL_VALUES, &host.frame);
    display->ShowWindow(SW_SHOW);
    QCoreApplication::processEvents();
  }
  ~Display() {
    delete display;
    host.frame.DestroyWindow();
    std::filesystem::remove(host.csv);
  }
  BenchHost host;
  plandrel::CPhysicalValues* display = nullptr;
};

Display* g_display = nullptr;

void Refresh(benchmark::State& state, WPARAM rebuild, bool swap) {
  plandrel::CPhysicalValues& display = *g_display->display;
  double handler = 0;
  for (auto _ : state) {
    if (swap) g_display->host.set ^= 1;
    const auto start = std::chrono::steady_clock::now();
    display.SendMessage(plandrel::WM_FIP_VALUES_REFRESH, rebuild, 0);
    handler += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    QCoreApplication::processEvents();
  }
  state.counters["handler_ms"] = handler / static_cast<double>(state.iterations());
  state.counters["lines"] = static_cast<double>(display.TextControl().GetLineCount());
  state.counters["values"] = static_cast<double>(display.Page().ValueLineCount());
}

void BM_Rebuild(benchmark::State& state) { Refresh(state, 1, false); }
void BM_UpdateNothingChanged(benchmark::State& state) { Refresh(state, 0, false); }
void BM_UpdateEverythingChanged(benchmark::State& state) { Refresh(state, 0, true); }
BENCHMARK(BM_Rebuild)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateNothingChanged)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_UpdateEverythingChanged)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunUiBenchmarks(argc, argv, [] {
    plandrel::RegisterPhysicalValuesResources();
    qui::testing::ScriptedPrompts prompts;
    Display display;
    g_display = &display;
    benchmark::RunSpecifiedBenchmarks();
    g_display = nullptr;
  });
}
