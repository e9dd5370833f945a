// The configuration tree's control at the records' limits (256 stations, 4095 variables, 512
// messages), with its widget: BuildTree, collapsed and then expanded whole, the rename of one and of
// 1000 variables, the update of one variable, and the rename of 1000 variable items of the local
// station in one pass (what the on-line session does from the main thread each refresh), each
// followed by the widget catching up in the event loop. Runs on Qt's offscreen platform unless
// another is set.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "frame_fakes.h"
#include "frame_resources.h"
#include "limits_network.h"
#include "main_frame.h"
#include "ui_bench_app.h"

namespace {

using plandrel::testing::FakeHost;
using plandrel::testing::QuietDocumentHost;

struct Designer {
  Designer()
      : folder(std::filesystem::temp_directory_path() / "plandrel_tree_ctrl_bench"),
        document((std::filesystem::create_directories(folder), documents), folder, plandrel::SelectedDevice{}) {
    host.document = &document;
    document.Records() = plandrel::testing::limits_network();
    frame = new plandrel::CMainFrame(host);
    frame->LoadFrame(plandrel::kMainFrameResource);
    AfxGetApp()->m_pMainWnd = frame;
    frame->ShowWindow(SW_SHOW);
    frame->CreateTree();
  }
  ~Designer() {
    delete frame;
    AfxGetApp()->m_pMainWnd = nullptr;
    std::filesystem::remove_all(folder);
  }
  std::filesystem::path folder;
  QuietDocumentHost documents;
  plandrel::CPlandrelDoc document;
  FakeHost host;
  plandrel::CMainFrame* frame = nullptr;
};

Designer* g_designer = nullptr;

void BM_BuildTreeControl(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.BuildTree());
    QCoreApplication::processEvents();
  }
  state.counters["items"] = tree.GetCount();
}
BENCHMARK(BM_BuildTreeControl)->Unit(benchmark::kMillisecond);

// Built, then expanded whole (View > Expand tree), until the widget shows every item.
void BM_BuildTreeControlExpanded(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.BuildTree());
    tree.ExpandAll();
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_BuildTreeControlExpanded)->Unit(benchmark::kMillisecond);

// BuildTree alone (the items and the widget's one rebuild), the event loop's layout and painting
// left out of the timing.
void BM_BuildTreeControlItems(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  for (auto _ : state) {
    benchmark::DoNotOptimize(tree.BuildTree());
    state.PauseTiming();
    QCoreApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_BuildTreeControlItems)->Unit(benchmark::kMillisecond);

// Renames the given number of variables, from variable 2048 on (each shown under its producer and
// its consumers), then lets the widget catch up.
void BM_RenameVariableControl(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  tree.BuildTree();
  QCoreApplication::processEvents();
  auto& variables = g_designer->document.Records().variables;
  const auto count = static_cast<std::size_t>(state.range(0));
  int turn = 0;
  for (auto _ : state) {
    ++turn;
    for (std::size_t i = 0; i < count; ++i) {
      records::VARIABLE4& variable = variables[(2048 + i) % variables.size()];
      std::snprintf(variable.name.data(), variable.name.size(), "Renamed %d", turn);
      tree.RenameVariableItems(variable);
    }
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_RenameVariableControl)->Arg(1)->Arg(1000)->Unit(benchmark::kMillisecond);

// Swaps the producer and the first consumer of one variable: two items change image, and only
// those two reach the widget.
void BM_UpdateVariableControl(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  tree.BuildTree();
  QCoreApplication::processEvents();
  records::VARIABLE4& variable = g_designer->document.Records().variables[2048];
  for (auto _ : state) {
    const auto producer = variable.producer;
    const auto consumer = static_cast<std::int16_t>((producer + 1) % 256);
    records::set_consumer(variable, static_cast<std::size_t>(consumer), false);
    records::set_consumer(variable, static_cast<std::size_t>(producer), true);
    variable.producer = consumer;
    tree.UpdateVariableItems(variable);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_UpdateVariableControl)->Unit(benchmark::kMicrosecond);

// One item of the control renamed, and one given other images, with the widget.
void BM_RenameItemControl(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  tree.BuildTree();
  QCoreApplication::processEvents();
  const HTREEITEM item = tree.FindLocalItem(g_designer->document.Records().variables[256].key);
  int turn = 0;
  char text[32];
  for (auto _ : state) {
    std::snprintf(text, sizeof text, "Value %d", ++turn);
    tree.SetItemText(item, text);
    QCoreApplication::processEvents();
  }
  state.counters["found"] = item != nullptr;
}
BENCHMARK(BM_RenameItemControl)->Unit(benchmark::kMicrosecond);

void BM_UpdateItemControl(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  tree.BuildTree();
  QCoreApplication::processEvents();
  const HTREEITEM item = tree.FindLocalItem(g_designer->document.Records().variables[256].key);
  int image = 0, selected = 0;
  tree.GetItemImage(item, image, selected);
  int turn = 0;
  for (auto _ : state) {
    const int shift = (++turn & 1) ? 2 : 0;
    tree.SetItemImage(item, image ^ shift, selected ^ shift);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_UpdateItemControl)->Unit(benchmark::kMicrosecond);

// 1000 items renamed in one pass, as the on-line session shows values.
void BM_Rename1000ItemsControl(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  tree.BuildTree();
  QCoreApplication::processEvents();
  // 1000 distinct items, taken depth first across the stations' variables.
  std::vector<HTREEITEM> items;
  std::vector<HTREEITEM> stack{tree.GetRootItem()};
  while (!stack.empty() && items.size() < 1000) {
    const HTREEITEM item = stack.back();
    stack.pop_back();
    if (!item) continue;
    if (tree.GetParentItem(item)) items.push_back(item);
    stack.push_back(tree.GetNextSiblingItem(item));
    stack.push_back(tree.GetChildItem(item));
  }
  int turn = 0;
  char text[48];
  for (auto _ : state) {
    ++turn;
    for (std::size_t k = 0; k < items.size(); ++k) {
      std::snprintf(text, sizeof text, "Item %zu = %d", k, turn);
      tree.SetItemText(items[static_cast<std::size_t>(k)], text);
    }
    QCoreApplication::processEvents();
  }
  state.counters["items"] = static_cast<double>(items.size());
}
BENCHMARK(BM_Rename1000ItemsControl)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  return bench::RunUiBenchmarks(argc, argv, [] {
    plandrel::RegisterFrameResources();
    Designer designer;
    g_designer = &designer;
    benchmark::RunSpecifiedBenchmarks();
    g_designer = nullptr;
  });
}
