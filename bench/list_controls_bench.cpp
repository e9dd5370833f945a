// The list and combo boxes of the class-library layer with their widgets, at the size of the
// designer's longest lists (4095 lines): a dialog that fills one in OnInitDialog, run and shown
// (the time from DoModal until the dialog is up, its first paint included), and 4095 selected lines
// deleted one by one from the top of a shown list, as the list dialog's Delete does. Runs on Qt's
// offscreen platform unless another is set.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTimer>

#include <string>
#include <vector>

#include "ui/afxcmn.h"
#include "ui_bench_app.h"

namespace {

constexpr UINT kListDialog = 700;
constexpr int kList = 1001, kCombo = 1002;
constexpr int kLines = 4095;

const std::vector<std::string>& LineTexts() {
  static const std::vector<std::string> texts = [] {
    std::vector<std::string> out;
    for (int i = 0; i < kLines; ++i) out.push_back("Variable number " + std::to_string(i));
    return out;
  }();
  return texts;
}

class FillDlg : public CDialog {
 public:
  FillDlg(int control, bool keep_open) : CDialog(kListDialog), control_(control), keep_open_(keep_open) {}
  BOOL OnInitDialog() override {
    CDialog::OnInitDialog();
    const auto& texts = LineTexts();
    if (control_ == kList) {
      auto& list = Item<CListBox>(kList);
      for (int i = 0; i < kLines; ++i) list.SetItemData(list.AddString(texts[static_cast<std::size_t>(i)].c_str()), i);
    } else {
      auto& combo = Item<CComboBox>(kCombo);
      for (int i = 0; i < kLines; ++i) combo.SetItemData(combo.AddString(texts[static_cast<std::size_t>(i)].c_str()), i);
      combo.SetCurSel(0);
    }
    // Closed once shown: the event loop has laid the dialog out and painted it.
    if (!keep_open_) QTimer::singleShot(0, [this] { EndDialog(IDOK); });
    return TRUE;
  }

 private:
  int control_;
  bool keep_open_;
};

void RunFilled(benchmark::State& state, int control) {
  for (auto _ : state) {
    FillDlg dialog(control, false);
    benchmark::DoNotOptimize(dialog.DoModal());
  }
}

void BM_ListBoxFilledInInitDialog(benchmark::State& state) { RunFilled(state, kList); }
BENCHMARK(BM_ListBoxFilledInInitDialog)->Unit(benchmark::kMillisecond);

void BM_ComboBoxFilledInInitDialog(benchmark::State& state) { RunFilled(state, kCombo); }
BENCHMARK(BM_ComboBoxFilledInInitDialog)->Unit(benchmark::kMillisecond);

// Every line selected one by one and shown, then deleted from the top one by one, the event loop
// catching up at the end.
void BM_ListBoxDeleteSelectedLines(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    FillDlg dialog(kList, true);
    dialog.Create(kListDialog, nullptr);
    dialog.ShowWindow(SW_SHOW);
    auto& list = dialog.Item<CListBox>(kList);
    for (int i = 0; i < kLines; ++i) list.SetSel(i, TRUE);
    QCoreApplication::processEvents();
    state.ResumeTiming();
    while (list.GetCount() > 0) list.DeleteString(0);
    QCoreApplication::processEvents();
    state.PauseTiming();
    dialog.DestroyWindow();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ListBoxDeleteSelectedLines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunUiBenchmarks(argc, argv, [] {
    qui::RegisterDialog({kListDialog,
                         220,
                         200,
                         "Lines",
                         "MS Shell Dlg",
                         8,
                         qui::kModalFrame | qui::kSystemMenu,
                         {{kList, qui::ControlKind::ListBox, 7, 7, 100, 160, "", qui::kMultipleSelection | qui::kVerticalScroll},
                          {kCombo, qui::ControlKind::ComboBox, 113, 7, 100, 120, "", qui::kDropDownList | qui::kVerticalScroll},
                          {IDOK, qui::ControlKind::PushButton, 60, 176, 50, 14, "OK", qui::kDefault},
                          {IDCANCEL, qui::ControlKind::PushButton, 114, 176, 50, 14, "Cancel"}}});
    benchmark::RunSpecifiedBenchmarks();
  });
}
