// The list dialog at the records' limits with its widgets: opened and shown on 4095 variables or 4096
// messages, refilled, and all 4095 variables deleted at once with the tree following; and a station's
// removal shifting the consumer sets of 4095 variables. Runs on Qt's offscreen platform unless
// another is set.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTimer>

#include <chrono>

#include "designer_window.h"
#include "liste_dlg.h"
#include "model/record_commands.h"
#include "ui/testing.h"
#include "ui_bench_app.h"

namespace {

using bench::Designer;
using plandrel::CListeDlg;
using plandrel::ListKind;

Designer* g_designer = nullptr;

void BM_OpenList(benchmark::State& state) {
  const auto kind = static_cast<ListKind>(state.range(0));
  bench::RunShown<CListeDlg>(state, [kind] {
    return std::make_unique<CListeDlg>(g_designer->frame, g_designer->context(), kind, 0);
  });
}
BENCHMARK(BM_OpenList)->Arg(1)->Arg(2)->ArgName("kind")->Unit(benchmark::kMillisecond);

// The refill after each command, the widget catching up.
void BM_RefillList(benchmark::State& state) {
  CListeDlg dialog(g_designer->frame, g_designer->context(), static_cast<ListKind>(state.range(0)), 0);
  QTimer::singleShot(0, [&] {
    for (auto _ : state) {
      dialog.FillList();
      QCoreApplication::processEvents();
    }
    dialog.EndDialog(IDOK);
  });
  dialog.DoModal();
}
BENCHMARK(BM_RefillList)->Arg(1)->Arg(2)->ArgName("kind")->Unit(benchmark::kMillisecond);

// Every line selected, Delete: 4095 removals with their tree items, the refill, the widgets.
void BM_DeleteAllVariables(benchmark::State& state) {
  records::Configuration network = bench::LimitsWithMessages();
  network.messages.clear();  // nothing keeps a variable
  qui::testing::ScriptedPrompts prompts;
  for (auto _ : state) {
    g_designer->document.Records() = network;
    g_designer->frame->Tree()->BuildTree();
    QCoreApplication::processEvents();
    CListeDlg dialog(g_designer->frame, g_designer->context(), ListKind::variables, 0);
    double seconds = 0;
    QTimer::singleShot(0, [&] {
      dialog.Item<CListBox>(plandrel::IDC_LISTE_RECORDS).SetSel(-1, TRUE);
      const auto start = std::chrono::steady_clock::now();
      dialog.OnDelete();
      QCoreApplication::processEvents();
      seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      dialog.EndDialog(IDOK);
    });
    dialog.DoModal();
    state.SetIterationTime(seconds);
  }
  state.counters["left"] = static_cast<double>(g_designer->document.Records().variables.size());
  state.counters["refused"] = static_cast<double>(prompts.Boxes().size());
  g_designer->document.Records() = bench::LimitsWithMessages();
  g_designer->frame->Tree()->BuildTree();
}
BENCHMARK(BM_DeleteAllVariables)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// Station 1, which no variable names, goes: every consumer set above it moves down one bit.
void BM_RemoveStationShift(benchmark::State& state) {
  records::Configuration network = bench::LimitsWithMessages();
  for (std::size_t i = 0; i < network.variables.size(); ++i) {
    records::VARIABLE4& v = network.variables[i];
    v.consumers.fill(0);
    v.producer = 0;
    records::set_consumer(v, 2 + i % 254, true);
    records::set_consumer(v, 2 + (i + 100) % 254, true);
    v.consumer_count = 2;
  }
  network.messages.clear();
  for (auto _ : state) {
    state.PauseTiming();
    records::Configuration c = network;
    state.ResumeTiming();
    benchmark::DoNotOptimize(plandrel::RemoveStation(c, 1));
  }
}
BENCHMARK(BM_RemoveStationShift)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunUiBenchmarks(argc, argv, [] {
    plandrel::RegisterFrameResources();
    Designer designer("plandrel_list_dialog_bench");
    g_designer = &designer;
    benchmark::RunSpecifiedBenchmarks();
    g_designer = nullptr;
  });
}
