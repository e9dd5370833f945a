// The configuration tree's control at the records' limits (256 stations, 4095 variables, 512
// messages), with its widget: BuildTree and one rename, each followed by the widget catching up
// in the event loop. Run with QT_QPA_PLATFORM=offscreen where no display is at hand.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <filesystem>

#include "frame_fakes.h"
#include "frame_resources.h"
#include "limits_network.h"
#include "main_frame.h"

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

// The control's items alone, the widget left to catch up after the timing.
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

void BM_RenameVariableControl(benchmark::State& state) {
  plandrel::CArbreCtrl& tree = *g_designer->frame->Tree();
  tree.BuildTree();
  QCoreApplication::processEvents();
  records::VARIABLE4& variable = g_designer->document.Records().variables[2048];
  int turn = 0;
  for (auto _ : state) {
    std::snprintf(variable.name.data(), variable.name.size(), "Renamed %d", ++turn);
    tree.RenameVariableItems(variable);
    QCoreApplication::processEvents();
  }
}
BENCHMARK(BM_RenameVariableControl)->Unit(benchmark::kMillisecond);

class BenchApp : public CWinApp {
 public:
  BOOL InitInstance() override {
    plandrel::RegisterFrameResources();
    Designer designer;
    g_designer = &designer;
    benchmark::RunSpecifiedBenchmarks();
    g_designer = nullptr;
    return FALSE;
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  BenchApp app;
  AfxWinMain(argc, argv);
  benchmark::Shutdown();
  return 0;
}
