// The BA program editor at its sizes: the default program of 4095 variables generated and shown,
// a slot-time change over 8,000 lines re-quantised and shown, and Save of those lines into the
// document and its working files. Each is measured three ways: the model alone, the dialog without
// widgets (its logic and its controls' state), and the dialog with its widgets (offscreen: run with
// QT_QPA_PLATFORM=offscreen where no display is at hand), where the list boxes' widgets follow.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <filesystem>
#include <functional>
#include <memory>

#include "frame_fakes.h"
#include "frame_resources.h"
#include "model/ba_program_edit.h"
#include "param_prog_def_dlg.h"
#include "prog_ba_dlg.h"
#include "ui/testing.h"
#include "ui_bench_app.h"

namespace {

using plandrel::BaLine;
using plandrel::BaMacro;
using plandrel::BaProgramEdit;

constexpr std::size_t kVariables = 4095;
constexpr std::size_t kLinesPerSequence = 4000;

struct Workplace {
  Workplace() : folder(std::filesystem::temp_directory_path() / "plandrel_ba_program_bench") {
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    document = std::make_unique<plandrel::CPlandrelDoc>(documents, folder, plandrel::SelectedDevice{});
    document->New();
    timing.Fill();
  }
  ~Workplace() {
    document.reset();
    std::filesystem::remove_all(folder);
  }
  // 4095 variables, a periodic and an aperiodic message, empty sequences.
  void DefaultProgramCase() {
    records::Configuration& r = document->Records();
    r = records::new_configuration();
    for (std::size_t i = 0; i < kVariables; ++i) {
      records::VARIABLE4 v;
      v.identifier = static_cast<std::uint16_t>(0x100 + i);
      v.length = static_cast<std::uint16_t>(1 + i % 16);
      v.channel = i < 8 ? static_cast<std::int16_t>(i + 1) : std::int16_t{-1};
      v.flags = i < 8 ? 0x02 : 0;
      v.producer = 0;
      r.variables.push_back(v);
    }
    r.messages.resize(2);
    r.messages[1].aperiodic = 1;
    Summarise();
  }
  // 4000 lines in each sequence, one date line in two.
  void SlotChangeCase() {
    records::Configuration& r = document->Records();
    r = records::new_configuration();
    for (std::size_t i = 0; i < kLinesPerSequence; ++i) {
      const BaLine line = i % 2 ? BaLine::Date(BaMacro::wait, static_cast<std::int32_t>(i % 4096))
                                : BaLine::Argument(BaMacro::id_dat, static_cast<std::uint32_t>(i));
      r.sequence1.push_back(line.Instruction());
      r.sequence2.push_back(line.Instruction());
    }
    Summarise();
  }
  void Summarise() {
    document->SetInstructionCost(records::instruction_cost(document->Records().sequence1, document->Records().sequence2));
    document->SetMemoryEstimate(records::memory_estimate(document->Records(), document->GetInstructionCost()));
  }

  std::filesystem::path folder;
  plandrel::testing::QuietDocumentHost documents;
  std::unique_ptr<plandrel::CPlandrelDoc> document;
  plandrel::TimingTable timing;
};

Workplace* g_work = nullptr;

// The parameters dialog answers at once with a 100 ms cycle.
void AnswerParameters(CDialog& dialog) {
  dialog.TypeDlgItemText(plandrel::IDC_DEF_CYCLE, "100");
  dialog.ClickDlgItem(IDOK);
}

// ---------------------------------------------------------------------------------------------
// The model alone

void BM_DefaultProgramModel(benchmark::State& state) {
  g_work->DefaultProgramCase();
  BaProgramEdit edit(*g_work->document);
  std::size_t shown = 0;
  for (auto _ : state) {
    const plandrel::DefaultBaProgram plan = edit.PlanDefault(0, g_work->timing);
    edit.SetDefault(0, plan, 100.0F, true);
    for (const BaLine& line : edit.Sequence(0)) shown += line.Display(edit.Unit()).size();
  }
  benchmark::DoNotOptimize(shown);
  state.counters["lines"] = static_cast<double>(edit.Sequence(0).size());
}
BENCHMARK(BM_DefaultProgramModel)->Unit(benchmark::kMillisecond);

void BM_SlotChangeModel(benchmark::State& state) {
  g_work->SlotChangeCase();
  BaProgramEdit edit(*g_work->document);
  std::uint16_t slot = 0;
  std::size_t shown = 0;
  for (auto _ : state) {
    slot = static_cast<std::uint16_t>((slot + 1) % plandrel::kBaSlotCount);
    edit.ChangeSlot(slot);
    for (std::size_t s = 0; s < 2; ++s)
      for (const BaLine& line : edit.Sequence(s)) shown += line.Display(edit.Unit()).size();
  }
  benchmark::DoNotOptimize(shown);
  state.counters["lines"] = static_cast<double>(edit.Sequence(0).size() + edit.Sequence(1).size());
}
BENCHMARK(BM_SlotChangeModel)->Unit(benchmark::kMillisecond);

// Save of 8,000 lines: the document's sequences and estimate, the ba and param working files.
void BM_SaveModel(benchmark::State& state) {
  g_work->SlotChangeCase();
  BaProgramEdit edit(*g_work->document);
  edit.ChangeSlot(1);
  for (auto _ : state) benchmark::DoNotOptimize(edit.Save(*g_work->document, ""));
}
BENCHMARK(BM_SaveModel)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// The dialog without widgets: its handlers and its controls' state

void BM_DefaultProgramDialog(benchmark::State& state) {
  g_work->DefaultProgramCase();
  for (auto _ : state) {
    state.PauseTiming();
    plandrel::CProgBADlg dialog(nullptr, *g_work->document, g_work->timing, false);
    qui::testing::ScriptedDialogs dialogs([&state](CDialog& d) {
      if (d.TemplateId() == plandrel::IDD_PARAM_PROG_DEF) return AnswerParameters(d);
      state.ResumeTiming();
      d.ClickDlgItem(plandrel::IDC_BA_DEFAULT1);
      state.PauseTiming();
    });
    dialog.DoModal();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DefaultProgramDialog)->Unit(benchmark::kMillisecond);

void BM_SlotChangeDialog(benchmark::State& state) {
  g_work->SlotChangeCase();
  plandrel::CProgBADlg* opened = nullptr;
  plandrel::CProgBADlg dialog(nullptr, *g_work->document, g_work->timing, false);
  qui::testing::ScriptedDialogs dialogs([&](CDialog&) {
    int slot = 0;
    for (auto _ : state) dialog.SelectDlgItem(plandrel::IDC_BA_SLOT, slot = (slot + 1) % 4);
    opened = &dialog;
  });
  dialog.DoModal();
  state.counters["opened"] = opened != nullptr;
}
BENCHMARK(BM_SlotChangeDialog)->Unit(benchmark::kMillisecond);

void BM_SaveDialog(benchmark::State& state) {
  g_work->SlotChangeCase();
  for (auto _ : state) {
    state.PauseTiming();
    plandrel::CProgBADlg dialog(nullptr, *g_work->document, g_work->timing, false);
    qui::testing::ScriptedDialogs dialogs([&state](CDialog& d) {
      d.SelectDlgItem(plandrel::IDC_BA_SLOT, 2);
      d.SelectDlgItem(plandrel::IDC_BA_SLOT, 0);
      state.ResumeTiming();
      d.ClickDlgItem(IDOK);
      state.PauseTiming();
    });
    dialog.DoModal();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SaveDialog)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// The dialog with its widgets: each change followed by the widgets catching up

// The editor shown modeless, so that the benchmark drives it while its widgets follow.
struct ShownEditor {
  ShownEditor() : dialog(nullptr, *g_work->document, g_work->timing, false) {
    dialog.Create(plandrel::IDD_PROG_BA, nullptr);
    QCoreApplication::processEvents();
  }
  ~ShownEditor() { dialog.DestroyWindow(); }
  plandrel::CProgBADlg dialog;
};

void BM_DefaultProgramWidgets(benchmark::State& state) {
  g_work->DefaultProgramCase();
  ShownEditor shown;
  qui::testing::ScriptedDialogs dialogs(AnswerParameters);  // the nested parameters dialog
  for (auto _ : state) {
    shown.dialog.ClickDlgItem(plandrel::IDC_BA_DEFAULT1);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_DefaultProgramWidgets)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SlotChangeWidgets(benchmark::State& state) {
  g_work->SlotChangeCase();
  ShownEditor shown;
  int slot = 0;
  for (auto _ : state) {
    shown.dialog.SelectDlgItem(plandrel::IDC_BA_SLOT, slot = (slot + 1) % 4);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_SlotChangeWidgets)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunUiBenchmarks(argc, argv, [] {
    plandrel::RegisterFrameResources();
    Workplace work;
    g_work = &work;
    benchmark::RunSpecifiedBenchmarks();
    g_work = nullptr;
  });
}
