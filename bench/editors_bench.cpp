// The variable and message editors and their selection dialogs on a configuration at the records'
// limits (256 stations, 4095 variables, 4096 messages), with their widgets: each opened and shown
// (from construction until the dialog is up, its first paint included), and a variable's Save with
// the tree's and the working files' updates, also with every message naming the variable. Runs on
// Qt's offscreen platform unless another is set.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <functional>
#include <string>

#include "designer_window.h"
#include "edition_mes_dlg.h"
#include "edition_var_dlg.h"
#include "editor_dialogs.h"
#include "select_var_id_dlg.h"
#include "source_dest_dlgs.h"
#include "station_dlgs.h"
#include "ui/testing.h"
#include "ui_bench_app.h"

namespace {

using bench::Designer;
using bench::RunShown;

Designer* g_designer = nullptr;

// Variable 2302 is consumed by the local station (produced by station 254); message 0 is
// transmitted to station 1 with its far end configured.
void BM_OpenVariableEditor(benchmark::State& state) {
  RunShown<plandrel::CEditionVarDlg>(state, [] {
    return std::make_unique<plandrel::CEditionVarDlg>(g_designer->frame, g_designer->context(), 2302, 0);
  });
}
BENCHMARK(BM_OpenVariableEditor)->Unit(benchmark::kMillisecond);

void BM_OpenMessageEditor(benchmark::State& state) {
  RunShown<plandrel::CEditionMesDlg>(
      state, [] { return std::make_unique<plandrel::CEditionMesDlg>(g_designer->frame, g_designer->context(), 0); });
}
BENCHMARK(BM_OpenMessageEditor)->Unit(benchmark::kMillisecond);

records::VARIABLE4 g_variable;
records::MESSAGE4 g_message;
std::uint16_t g_identifier = 0;

void BM_OpenProducerPicker(benchmark::State& state) {
  g_variable = g_designer->document.Records().variables[2302];
  RunShown<plandrel::CStaProdDlg>(state, [] {
    return std::make_unique<plandrel::CStaProdDlg>(g_designer->frame, g_designer->document.Records(), g_variable);
  });
}
BENCHMARK(BM_OpenProducerPicker)->Unit(benchmark::kMillisecond);

void BM_OpenConsumersPicker(benchmark::State& state) {
  g_variable = g_designer->document.Records().variables[2302];
  // Every station a consumer but the producer: 255 lines on the right.
  for (std::size_t s = 0; s < 256; ++s) records::set_consumer(g_variable, s, s != 254);
  g_variable.consumer_count = 255;
  RunShown<plandrel::CStaConsDlg>(state, [] {
    return std::make_unique<plandrel::CStaConsDlg>(g_designer->frame, g_designer->document.Records(), g_variable);
  });
}
BENCHMARK(BM_OpenConsumersPicker)->Unit(benchmark::kMillisecond);

void BM_OpenIdentifierPicker(benchmark::State& state) {
  RunShown<plandrel::CSelectVarIdDlg>(state, [] {
    return std::make_unique<plandrel::CSelectVarIdDlg>(g_designer->frame, g_designer->document.Records(), g_identifier);
  });
}
BENCHMARK(BM_OpenIdentifierPicker)->Unit(benchmark::kMillisecond);

void BM_OpenLocalEndPicker(benchmark::State& state) {
  g_message = g_designer->document.Records().messages[0];
  RunShown<plandrel::CSourceDestLocaleDlg>(state, [] {
    return std::make_unique<plandrel::CSourceDestLocaleDlg>(g_designer->frame, g_designer->document.Records(), g_message);
  });
}
BENCHMARK(BM_OpenLocalEndPicker)->Unit(benchmark::kMillisecond);

void BM_OpenFarEndPicker(benchmark::State& state) {
  g_message = g_designer->document.Records().messages[0];
  g_message.acknowledged = 1;
  RunShown<plandrel::CSourceDestAutreDlg>(state, [] {
    return std::make_unique<plandrel::CSourceDestAutreDlg>(g_designer->frame, g_designer->document.Records(), g_message);
  });
}
BENCHMARK(BM_OpenFarEndPicker)->Unit(benchmark::kMillisecond);

// A Save that renames variable 256 (produced by the local station for stations 1 and 2): the
// record, its three tree items, the variables working file; the tree's widget catching up.
void BM_SaveVariable(benchmark::State& state) {
  int turn = 0;
  qui::testing::ScriptedPrompts prompts;  // a refusal would be counted, not waited for
  qui::testing::ScriptedDialogs save([&](CDialog& d) {
    d.TypeDlgItemText(plandrel::IDC_VAR_NAME, ("Renamed " + std::to_string(++turn)).c_str());
    d.ClickDlgItem(IDOK);
  });
  for (auto _ : state) {
    benchmark::DoNotOptimize(plandrel::EditVariable(g_designer->context(), g_designer->frame, 256, false));
    QCoreApplication::processEvents();
  }
  state.counters["refused"] = static_cast<double>(prompts.Boxes().size());
}
BENCHMARK(BM_SaveVariable)->Unit(benchmark::kMillisecond);

// For the time of a benchmark every one of the 4096 messages names variable 256 at its local end
// (its source): the tree shows them all under the variable's item at the local station. The
// configuration, its tree and its working files come back afterwards.
class EveryMessageNaming {
 public:
  explicit EveryMessageNaming(std::size_t variable) : saved_(g_designer->document.Records()) {
    records::Configuration& c = g_designer->document.Records();
    for (records::MESSAGE4& m : c.messages) m.source_identifier = c.variables[variable].identifier;
    Rebuild();
  }
  ~EveryMessageNaming() {
    g_designer->document.Records() = saved_;
    Rebuild();
  }

 private:
  static void Rebuild() {
    g_designer->document.WriteAllWorkingFiles();
    g_designer->frame->Tree()->BuildTree();
    QCoreApplication::processEvents();
  }
  records::Configuration saved_;
};

// Saves variable 256 with every message naming it, after `change` in the editor (or, for the
// consumers' picker, in that dialog): the messages' ends, their tree items, both working files.
void SaveNamedByEveryMessage(benchmark::State& state, const std::function<void(CDialog&, int)>& change) {
  EveryMessageNaming naming(256);
  int turn = 0;
  qui::testing::ScriptedPrompts prompts;
  qui::testing::ScriptedDialogs save([&](CDialog& d) { change(d, turn); });
  for (auto _ : state) {
    ++turn;
    benchmark::DoNotOptimize(plandrel::EditVariable(g_designer->context(), g_designer->frame, 256, false));
    QCoreApplication::processEvents();
  }
  state.counters["refused"] = static_cast<double>(prompts.Boxes().size());
}

// The identifier goes from 1100 to 2100 (no variable's) and back: every message's source follows.
void BM_SaveVariableIdentifierNamedByEveryMessage(benchmark::State& state) {
  SaveNamedByEveryMessage(state, [](CDialog& d, int turn) {
    d.TypeDlgItemText(plandrel::IDC_VAR_IDENTIFIER, turn % 2 != 0 ? "2100" : "1100");
    d.ClickDlgItem(IDOK);
  });
}
BENCHMARK(BM_SaveVariableIdentifierNamedByEveryMessage)->Unit(benchmark::kMillisecond);

// Station 3 joins the consumers (stations 1 and 2) and leaves again: the variable's item comes and
// goes at station 3, and every message naming the variable is brought up to date.
void BM_SaveVariableConsumersNamedByEveryMessage(benchmark::State& state) {
  SaveNamedByEveryMessage(state, [](CDialog& d, int turn) {
    if (d.TemplateId() == plandrel::IDD_STA_CONS) {
      if (turn % 2 != 0) {
        d.SelectDlgItem(plandrel::IDC_ALL_STATIONS, 3);
        d.ClickDlgItem(plandrel::IDC_ADD_CONSUMERS);
      } else {
        d.SelectDlgItem(plandrel::IDC_CONSUMING_STATIONS, 2);
        d.ClickDlgItem(plandrel::IDC_DELETE_CONSUMERS);
      }
      d.ClickDlgItem(IDOK);
      return;
    }
    d.ClickDlgItem(plandrel::IDC_VAR_CONSUMPTION);
    d.ClickDlgItem(IDOK);
  });
}
BENCHMARK(BM_SaveVariableConsumersNamedByEveryMessage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunUiBenchmarks(argc, argv, [] {
    plandrel::RegisterFrameResources();
    Designer designer("plandrel_editors_bench");
    g_designer = &designer;
    benchmark::RunSpecifiedBenchmarks();
    g_designer = nullptr;
  });
}
